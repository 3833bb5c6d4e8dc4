// Processes of the calling user on Windows: the user of each listed
// process's token against the caller's. Another user's process does not
// open for query at all, or shows another user.
#include "os/process_owner.h"

#include <vector>

#include "os/win32/process_list.h"

namespace os {
namespace {

// The user SID of a process's token; empty when it cannot be read.
std::vector<unsigned char> token_user(HANDLE process) {
    std::vector<unsigned char> user;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return user;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        if (IsValidSid(sid)) {
            const auto* bytes = static_cast<const unsigned char*>(sid);
            user.assign(bytes, bytes + GetLengthSid(sid));
        }
    }
    CloseHandle(token);
    return user;
}

bool runs_as(DWORD pid, const std::vector<unsigned char>& own) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;
    const bool same = !own.empty() && token_user(process) == own;
    CloseHandle(process);
    return same;
}

}  // namespace

int process_count_own_by_name(const char* exe_name, int stop_at) {
    if (exe_name == nullptr) return 0;
    const std::vector<unsigned char> own = token_user(GetCurrentProcess());
    return win32::count_processes_named(exe_name, stop_at,
                                        [&own](DWORD pid) { return runs_as(pid, own); });
}

}  // namespace os
