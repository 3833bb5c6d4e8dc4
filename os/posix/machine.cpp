// Machine facts for the check-item plug-ins on POSIX: processes from /proc,
// the kernel release from uname; there is no registry.
#include "os/machine.h"

#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/types.h"

namespace os {
namespace {

// The executable's file name of one process, as the Windows process list
// would give it; empty for kernel threads and processes already gone.
std::string executable_name(const char* pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/exe", pid);
    char target[4096];
    const ssize_t length = readlink(path, target, sizeof target - 1);
    std::string name;
    if (length > 0) {
        name.assign(target, static_cast<std::size_t>(length));
        // A program replaced on disk while it runs keeps its old name.
        static const std::string kDeleted = " (deleted)";
        if (name.size() > kDeleted.size() &&
            name.compare(name.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
            name.resize(name.size() - kDeleted.size());
        }
    } else {
        std::snprintf(path, sizeof path, "/proc/%s/cmdline", pid);
        std::ifstream file(path, std::ios::binary);
        std::getline(file, name, '\0');
    }
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

bool process_names(std::vector<std::string>* names) {
    if (names == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    names->clear();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::string name = executable_name(entry->d_name);
        if (!name.empty()) names->push_back(std::move(name));
    }
    closedir(proc);
    return true;
}

bool system_release(std::string* out) {
    utsname system{};
    if (out == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    if (uname(&system) != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    *out = system.release;
    return true;
}

RegistryRead registry_read(RegistryRoot /*root*/, const char* /*subkey*/,
                           const char* /*value_name*/, RegistryValue* /*out*/) {
    set_last_error(50);  // ERROR_NOT_SUPPORTED
    return RegistryRead::kUnsupported;
}

// Linux has one view of its file system: nothing to turn off.
NativeFileView::NativeFileView() {
    static_cast<void>(saved_);
    static_cast<void>(active_);
}
NativeFileView::~NativeFileView() = default;

}  // namespace os
