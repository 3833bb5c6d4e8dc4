// The process list on POSIX: /proc of this machine. A process in another pid
// namespace (a container or sandbox started from this one) is visible in our
// /proc but runs on what is, to the product, another machine: it is not
// listed, so an assistant there is neither counted nor ended from here.
#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "os/posix/internal.h"

namespace os::posix {
namespace {

std::string pid_namespace_of(const char* pid) {
    const std::string path = std::string("/proc/") + pid + "/ns/pid";
    char target[128];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

void for_each_process(const std::function<bool(const char* pid)>& visit) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return;
    const std::string own = pid_namespace_of("self");
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        // Another user's process may not show its namespace: it is listed.
        const std::string space = pid_namespace_of(entry->d_name);
        if (!own.empty() && !space.empty() && space != own) continue;
        if (!visit(entry->d_name)) break;
    }
    closedir(proc);
}

bool listed_name_matches(const std::string& listed, const char* exe_name) {
    return !listed.empty() && strncasecmp(listed.c_str(), exe_name, listed.size()) == 0;
}

// The executable file name of a running process as the Windows process list
// would show it; empty for kernel threads and processes already gone.
std::string process_file_name(const char* pid) {
    const std::string folder = std::string("/proc/") + pid;
    char target[4096];
    const ssize_t length = readlink((folder + "/exe").c_str(), target, sizeof target - 1);
    std::string name;
    if (length > 0) {
        name.assign(target, static_cast<std::size_t>(length));
        const char kDeleted[] = " (deleted)";
        if (name.size() > sizeof kDeleted - 1 &&
            name.compare(name.size() - (sizeof kDeleted - 1), std::string::npos, kDeleted) == 0) {
            name.resize(name.size() - (sizeof kDeleted - 1));
        }
    } else {
        // Another user's process: its first argument names the program.
        std::ifstream file(folder + "/cmdline", std::ios::binary);
        std::getline(file, name, '\0');
    }
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace os::posix
