// The process's current directory (kept apart from file.cpp: one caller).
#include <unistd.h>

#include <cerrno>

#include "os/file.h"
#include "os/posix/internal.h"

namespace os {

bool directory_set_current(const char* path) {
    if (path == nullptr) {
        posix::set_last_error_from_errno(EINVAL);
        return false;
    }
    if (chdir(posix::native_path(path).c_str()) == 0) return true;
    posix::set_last_error_from_errno(errno);
    return false;
}

}  // namespace os
