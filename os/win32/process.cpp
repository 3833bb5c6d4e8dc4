// Processes and threads through the Windows kernel.
#include "os/process.h"

#include <windows.h>
// The shell header needs <windows.h> first.
#include <shellapi.h>

#include <cstring>
#include <new>
#include <string>

#include "os/seams.h"
#include "os/win32/process_list.h"

namespace os {
namespace {

struct ThreadStart {
    ThreadFunction function;
    void* argument;
};

DWORD WINAPI thread_entry(void* data) {
    const ThreadStart start = *static_cast<ThreadStart*>(data);
    delete static_cast<ThreadStart*>(data);
    return start.function(start.argument);
}

// One argument quoted for a Windows command line (the inverse of the way
// programs split it): backslashes are doubled only before a quote.
void append_quoted(std::string* line, const char* argument) {
    if (*argument != '\0' && std::strpbrk(argument, " \t\n\v\"") == nullptr) {
        *line += argument;
        return;
    }
    *line += '"';
    for (const char* p = argument;; ++p) {
        std::size_t slashes = 0;
        while (*p == '\\') {
            ++p;
            ++slashes;
        }
        if (*p == '\0') {
            line->append(slashes * 2, '\\');
            break;
        }
        if (*p == '"') {
            line->append(slashes * 2 + 1, '\\');
        } else {
            line->append(slashes, '\\');
        }
        *line += *p;
    }
    *line += '"';
}

}  // namespace

std::uint32_t process_id() {
    return GetCurrentProcessId();
}

std::uint32_t thread_id() {
    return GetCurrentThreadId();
}

const char* process_command_line() {
    return GetCommandLineA();
}

Handle thread_start(ThreadFunction function, void* argument) {
    auto* start = new (std::nothrow) ThreadStart{function, argument};
    if (start == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
    if (thread == nullptr) delete start;
    return thread;
}

bool handle_wait(Handle handle, std::uint32_t timeout_ms) {
    return WaitForSingleObject(handle, timeout_ms) == WAIT_OBJECT_0;
}

void handle_close(Handle handle) {
    if (handle != nullptr) CloseHandle(handle);
}

int process_count_by_name(const char* exe_name, int stop_at) {
    if (exe_name == nullptr) return 0;
    return win32::count_processes_named(exe_name, stop_at, [](DWORD) { return true; });
}

bool process_shell_open(const char* file, const char* parameters, int show_state, Handle* process) {
    if (process != nullptr) *process = nullptr;
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = show_state;
    if (!ShellExecuteExA(&info)) return false;
    if (process != nullptr) {
        *process = info.hProcess;
    } else if (info.hProcess != nullptr) {
        CloseHandle(info.hProcess);
    }
    return true;
}

Handle process_spawn(const char* path, const char* const* arguments) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string line;
    append_quoted(&line, path);
    for (const char* const* p = arguments; p != nullptr && *p != nullptr; ++p) {
        line += ' ';
        append_quoted(&line, *p);
    }
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    if (!CreateProcessA(path, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return nullptr;
    }
    CloseHandle(started.hThread);
    return started.hProcess;
}

Handle process_open_for_terminate(std::uint32_t pid) {
    // Terminate access alone: a process that grants it may refuse more.
    return OpenProcess(PROCESS_TERMINATE, FALSE, pid);
}

bool process_terminate(Handle process, std::uint32_t exit_code) {
    return TerminateProcess(process, exit_code) != FALSE;
}

bool process_exit_code(Handle process, std::uint32_t* exit_code) {
    if (exit_code == nullptr) return false;
    // STILL_ACTIVE could also be a real exit code: ask the handle whether it ended.
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return false;
    *exit_code = code;
    return true;
}

void process_exit(std::uint32_t exit_code) {
    if (seams::ExitHook hook = seams::exit_hook()) hook(exit_code);
    ExitProcess(exit_code);
}

}  // namespace os
