// Processes of the calling user on POSIX: /proc/<pid> belongs to the
// process's effective user.
#include "os/process_owner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/posix/internal.h"

namespace os {

int process_count_own_by_name(const char* exe_name, int stop_at) {
    if (exe_name == nullptr) return 0;
    const uid_t own = geteuid();
    int count = 0;
    posix::for_each_process([&](const char* pid) {
        struct stat info = {};
        const std::string folder = std::string("/proc/") + pid;
        if (stat(folder.c_str(), &info) == 0 && info.st_uid == own &&
            posix::listed_name_matches(posix::process_file_name(pid), exe_name)) {
            ++count;
        }
        return stop_at <= 0 || count < stop_at;
    });
    return count;
}

}  // namespace os
