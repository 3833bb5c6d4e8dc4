// The atomic file store on POSIX: a temporary file beside the target,
// flushed to disk, then rename(2) over the target.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "os/http.h"
#include "os/posix/internal.h"

namespace os {

bool file_store_atomically(const char* path, const void* data, std::size_t size) {
    static std::atomic<unsigned> counter{0};
    const std::string target = posix::native_path(path);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%u.part", static_cast<long>(getpid()),
                  counter.fetch_add(1));
    const std::string temporary = target + suffix;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t written = write(fd, bytes + done, size - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        posix::set_last_error_from_errno(error);
        return false;
    }
    return true;
}

}  // namespace os
