// Machine facts for the check-item plug-ins on POSIX: processes from /proc,
// the kernel release from uname; there is no registry.
#include "os/machine.h"

#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/types.h"

namespace os {
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
        std::string name = posix::process_file_name(entry->d_name);
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
