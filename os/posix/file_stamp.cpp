#include "os/file_stamp.h"

#include <sys/stat.h>

#include "os/posix/internal.h"

namespace os {
namespace {

std::uint64_t nanoseconds(const timespec& time) {
    return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(time.tv_nsec);
}

}  // namespace

bool file_stamp(const char* path, FileStamp* stamp) {
    struct stat info = {};
    if (stat(posix::native_path(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp->size = static_cast<std::uint64_t>(info.st_size);
    stamp->write_time = nanoseconds(info.st_mtim);
    stamp->change_time = nanoseconds(info.st_ctim);
    stamp->volume = static_cast<std::uint64_t>(info.st_dev);
    stamp->index = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

}  // namespace os
