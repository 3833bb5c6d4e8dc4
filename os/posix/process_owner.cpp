// Processes of the calling user on POSIX: /proc/<pid> belongs to the
// process's effective user.
#include "os/process_owner.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/posix/internal.h"

namespace os {

int process_count_own_by_name(const char* exe_name, int stop_at) {
    if (exe_name == nullptr) return 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    const uid_t own = geteuid();
    int count = 0;
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        struct stat info = {};
        const std::string folder = std::string("/proc/") + entry->d_name;
        if (stat(folder.c_str(), &info) != 0 || info.st_uid != own) continue;
        const std::string name = posix::process_file_name(entry->d_name);
        if (!name.empty() && strncasecmp(name.c_str(), exe_name, name.size()) == 0) {
            ++count;
            if (stop_at > 0 && count >= stop_at) break;
        }
    }
    closedir(proc);
    return count;
}

}  // namespace os
