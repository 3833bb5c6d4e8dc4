// The system's process list (Toolhelp snapshots), shared by the counting and
// ending of processes by name.
#pragma once

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstring>

namespace os::win32 {

// Calls `visit(pid, exe_name)` for every listed process until it returns
// false. Nothing is visited when no snapshot can be taken.
template <typename Visit>
void for_each_process(Visit visit) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (!visit(entry.th32ProcessID, static_cast<const char*>(entry.szExeFile))) break;
    }
    CloseHandle(snapshot);
}

// The counting rule: the listed name over its own length against the
// beginning of `exe_name`, without regard to case (names keep the case they
// were started with).
inline bool listed_name_matches(const char* listed, const char* exe_name) {
    const std::size_t length = std::strlen(listed);
    return length > 0 && _strnicmp(listed, exe_name, length) == 0;
}

// Counts the processes whose listed name matches `exe_name` and that
// `accept(pid)` takes, stopping at `stop_at` when it is above 0.
template <typename Accept>
int count_processes_named(const char* exe_name, int stop_at, Accept accept) {
    int count = 0;
    for_each_process([&](DWORD pid, const char* listed) {
        if (listed_name_matches(listed, exe_name) && accept(pid)) ++count;
        return stop_at <= 0 || count < stop_at;
    });
    return count;
}

}  // namespace os::win32
