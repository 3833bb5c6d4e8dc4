// The protected files on POSIX: owner-only modes, rename for the atomic
// replace (after fdatasync of the new file), O_APPEND for appends.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "os/data_protection.h"
#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

bool fail_errno() {
    posix::set_last_error_from_errno(errno);
    return false;
}

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void stamp_of(const struct stat& info, FileStamp* stamp) {
    stamp->exists = true;
    stamp->volume = static_cast<std::uint64_t>(info.st_dev);
    stamp->id = static_cast<std::uint64_t>(info.st_ino);
    stamp->size = static_cast<std::uint64_t>(info.st_size);
    stamp->modified = static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                      static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
}

}  // namespace

bool file_stamp(const char* path, FileStamp* stamp) {
    if (path == nullptr || stamp == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    *stamp = FileStamp{};
    struct stat info {};
    if (::stat(posix::native_path(path).c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? true : fail_errno();
    }
    stamp_of(info, stamp);
    return true;
}

bool file_hold(const char* path, HeldFile* held, FileStamp* stamp) {
    file_release(held);
    *stamp = FileStamp{};
    const int fd = ::open(posix::native_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    held->descriptor = fd;
    stamp_of(info, stamp);
    return true;
}

void file_release(HeldFile* held) {
    if (held->descriptor >= 0) ::close(static_cast<int>(held->descriptor));
    held->descriptor = -1;
}

bool private_directory_create(const char* path) {
    if (path == nullptr || *path == '\0') {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    std::string native = posix::native_path(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (::mkdir(native.c_str(), 0700) == 0) return true;
    if (errno == ENOENT) {
        // A fresh account may not have its data folder (~/.local/share) yet:
        // the missing folders above are made, private as the XDG ones are.
        for (std::size_t slash = native.find('/', 1); slash != std::string::npos;
             slash = native.find('/', slash + 1)) {
            ::mkdir(native.substr(0, slash).c_str(), 0700);
        }
        if (::mkdir(native.c_str(), 0700) == 0) return true;
    }
    if (errno != EEXIST) return fail_errno();
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) return fail_errno();
    if (!S_ISDIR(info.st_mode)) {
        set_last_error(kErrorAlreadyExists);
        return false;
    }
    if (info.st_uid == ::getuid() && (info.st_mode & 077) != 0) {
        ::chmod(native.c_str(), 0700);
    }
    return true;
}

bool file_replace_durably(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size != 0)) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const std::string native = posix::native_path(path);
    const std::string temporary = native + ".tmp";
    ::unlink(temporary.c_str());  // a crashed writer's leftover, perhaps not ours to reuse
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return fail_errno();
    // The bytes reach the disk before the name does, so a power cut finds the
    // old file or the new one. The folder is not flushed: the rename reaches
    // the disk with the journal's next commit, and until then the old file
    // is the one a cold start finds, which the contract allows.
    const bool written =
        write_all(fd, static_cast<const char*>(data), size) && ::fdatasync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), native.c_str()) != 0) {
        const int error = written ? errno : saved;
        ::unlink(temporary.c_str());
        posix::set_last_error_from_errno(error);
        return false;
    }
    return true;
}

bool file_append(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size != 0)) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const int fd =
        ::open(posix::native_path(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return fail_errno();
    const bool written = write_all(fd, static_cast<const char*>(data), size);
    const int saved = errno;
    ::close(fd);
    if (!written) posix::set_last_error_from_errno(saved);
    return written;
}

bool file_rename_replacing(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    if (::rename(posix::native_path(from).c_str(), posix::native_path(to).c_str()) != 0) {
        return fail_errno();
    }
    return true;
}

bool file_read_at(const char* path, std::uint64_t offset, void* buffer, std::size_t size,
                  std::size_t* done) {
    if (path == nullptr || done == nullptr || (buffer == nullptr && size != 0)) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    *done = 0;
    const int fd = ::open(posix::native_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail_errno();
    char* out = static_cast<char*>(buffer);
    while (*done < size) {
        const ssize_t got =
            ::pread(fd, out + *done, size - *done, static_cast<off_t>(offset + *done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int saved = errno;
            ::close(fd);
            posix::set_last_error_from_errno(saved);
            return false;
        }
        if (got == 0) break;
        *done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return true;
}

bool file_read_all(const char* path, std::size_t limit, std::string* out) {
    if (path == nullptr || out == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    out->clear();
    const int fd = ::open(posix::native_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail_errno();
    char chunk[16384];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ok = fail_errno();
            break;
        }
        if (got == 0) break;
        if (out->size() + static_cast<std::size_t>(got) > limit) {
            set_last_error(kErrorInsufficientBuffer);
            ok = false;
            break;
        }
        out->append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok) out->clear();
    return ok;
}

}  // namespace os
