#include "os/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "os/error.h"
#include "os/posix/file_internal.h"
#include "os/posix/internal.h"

namespace os {
namespace posix {

std::uint32_t stored_attributes(const std::string& path) {
    char text[16] = {};
    const ssize_t length = getxattr(path.c_str(), kAttributesXattr, text, sizeof text - 1);
    if (length <= 0) return 0;
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) &
           (kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive);
}

bool store_attributes(const std::string& path, std::uint32_t bits) {
    if (bits == 0) {
        if (removexattr(path.c_str(), kAttributesXattr) == 0 || errno == ENODATA) return true;
        // A file system without extended attributes holds no bits to clear.
        return errno == ENOTSUP;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u", bits);
    return setxattr(path.c_str(), kAttributesXattr, text, static_cast<std::size_t>(length), 0) == 0;
}

}  // namespace posix

namespace {

using posix::native_path;

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

struct FileObject {
    static constexpr std::uint32_t kMagic = 0x46494c45;  // "FILE"
    std::uint32_t magic = kMagic;
    int fd = -1;
};

bool fail(std::uint32_t code) {
    set_last_error(code);
    return false;
}

bool fail_errno() {
    posix::set_last_error_from_errno(errno);
    return false;
}

int fd_of(Handle file) {
    const FileObject* object = static_cast<const FileObject*>(file);
    return object != nullptr && object->magic == FileObject::kMagic ? object->fd : -1;
}

// Windows keeps "read-only" as an attribute that binds even administrators;
// here it is a file without any write permission bit, checked explicitly so
// that it binds root as well.
bool is_read_only(const struct stat& info) {
    return (info.st_mode & kWriteBits) == 0;
}

// True when an opener of `path` denies `access` (or holds what `share`
// denies). A file we cannot open for the probe has no openers of ours.
bool in_use(const std::string& path, std::uint32_t access, std::uint32_t share) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool conflict = posix::sharing_conflicts(fd, access, share);
    close(fd);
    return conflict;
}

// Opens with sharing checked and announced; `flags` without O_TRUNC (a
// refused open must leave the file alone). `mode` applies to a new file.
Handle open_shared(const char* path, int flags, std::uint32_t access, std::uint32_t share,
                   mode_t mode = 0666) {
    const std::string native = native_path(path);
    const int fd = open(native.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) {
        fail_errno();
        return nullptr;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        fail(kErrorAccessDenied);
        return nullptr;
    }
    if (posix::sharing_conflicts(fd, access, share)) {
        close(fd);
        fail(kErrorSharingViolation);
        return nullptr;
    }
    // A file system without open-file-description locks (some network
    // mounts) cannot take part in the emulation: the open proceeds.
    posix::sharing_announce(fd, access, share);
    FileObject* object = new (std::nothrow) FileObject;
    if (object == nullptr) {
        close(fd);
        fail(kErrorNotEnoughMemory);
        return nullptr;
    }
    object->fd = fd;
    return object;
}

bool copy_contents(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

std::uint32_t file_attributes(const char* path) {
    const std::string native = native_path(path);
    struct stat info = {};
    if (stat(native.c_str(), &info) != 0) {
        fail_errno();
        return kInvalidFileAttributes;
    }
    std::uint32_t attributes = posix::stored_attributes(native);
    if (S_ISDIR(info.st_mode)) attributes |= kFileAttributeDirectory;
    if (is_read_only(info)) attributes |= kFileAttributeReadOnly;
    return attributes != 0 ? attributes : kFileAttributeNormal;
}

bool file_set_attributes(const char* path, std::uint32_t attributes) {
    const std::string native = native_path(path);
    struct stat info = {};
    if (stat(native.c_str(), &info) != 0) return fail_errno();
    mode_t mode = info.st_mode & 07777;
    if ((attributes & kFileAttributeReadOnly) != 0) {
        mode &= ~kWriteBits;
    } else if (is_read_only(info)) {
        mode |= S_IWUSR;  // writable again for its owner
    }
    if (mode != (info.st_mode & 07777) && chmod(native.c_str(), mode) != 0) return fail_errno();
    const std::uint32_t stored =
        attributes & (kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive);
    if (!posix::store_attributes(native, stored)) return fail_errno();
    return true;
}

bool file_copy(const char* source, const char* destination, bool fail_if_exists) {
    const std::string from_path = native_path(source);
    const std::string to_path = native_path(destination);
    // As CopyFileA: source and destination both shared for reading and
    // writing.
    Handle from =
        open_shared(source, O_RDONLY, posix::kAccessRead, kFileShareRead | kFileShareWrite);
    if (from == nullptr) return false;
    struct stat from_info = {};
    fstat(fd_of(from), &from_info);
    const std::uint32_t from_bits = posix::stored_attributes(from_path);

    struct stat to_info = {};
    if (stat(to_path.c_str(), &to_info) == 0) {
        std::uint32_t code = kErrorSuccess;
        if (fail_if_exists) {
            code = kErrorFileExists;
        } else if (to_info.st_dev == from_info.st_dev && to_info.st_ino == from_info.st_ino) {
            code = kErrorSharingViolation;
        } else if (S_ISDIR(to_info.st_mode) || is_read_only(to_info)) {
            code = kErrorAccessDenied;
        } else if ((posix::stored_attributes(to_path) & ~from_bits &
                    (kFileAttributeHidden | kFileAttributeSystem)) != 0) {
            // Windows refuses to replace a hidden or system file with one
            // that lacks those attributes.
            code = kErrorAccessDenied;
        }
        if (code != kErrorSuccess) {
            file_close(from);
            return fail(code);
        }
    }
    Handle to = open_shared(destination, O_RDWR | O_CREAT, posix::kAccessWrite,
                            kFileShareRead | kFileShareWrite);
    if (to == nullptr) {
        const std::uint32_t code = last_error();
        file_close(from);
        return fail(code);
    }
    const int to_fd = fd_of(to);
    const bool copied = ftruncate(to_fd, 0) == 0 && copy_contents(fd_of(from), to_fd) &&
                        fchmod(to_fd, from_info.st_mode & 07777) == 0;
    const int error = errno;
    file_close(to);
    file_close(from);
    if (!copied) {
        posix::set_last_error_from_errno(error);
        return false;
    }
    posix::store_attributes(to_path, from_bits | kFileAttributeArchive);
    return true;
}

bool file_delete(const char* path) {
    const std::string native = native_path(path);
    struct stat info = {};
    if (lstat(native.c_str(), &info) != 0) return fail_errno();
    if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && is_read_only(info))) {
        return fail(kErrorAccessDenied);
    }
    if (in_use(native, posix::kAccessDelete, kFileShareRead | kFileShareWrite | kFileShareDelete)) {
        return fail(kErrorSharingViolation);
    }
    if (unlink(native.c_str()) != 0) return fail_errno();
    return true;
}

bool file_move(const char* from, const char* to) {
    const std::string from_path = native_path(from);
    const std::string to_path = native_path(to);
    struct stat info = {};
    if (lstat(from_path.c_str(), &info) != 0) return fail_errno();
    if (in_use(from_path, posix::kAccessDelete,
               kFileShareRead | kFileShareWrite | kFileShareDelete)) {
        return fail(kErrorSharingViolation);
    }
    // link + unlink never replaces an existing name (as MoveFileExA without
    // MOVEFILE_REPLACE_EXISTING); directories are renamed after a check.
    if (S_ISDIR(info.st_mode)) {
        if (lstat(to_path.c_str(), &info) == 0) return fail(kErrorAlreadyExists);
        if (rename(from_path.c_str(), to_path.c_str()) != 0) return fail_errno();
        return true;
    }
    if (link(from_path.c_str(), to_path.c_str()) != 0) {
        return errno == EEXIST ? fail(kErrorAlreadyExists) : fail_errno();
    }
    if (unlink(from_path.c_str()) != 0) {
        const int error = errno;
        unlink(to_path.c_str());
        posix::set_last_error_from_errno(error);
        return false;
    }
    return true;
}

bool directory_create(const char* path) {
    const std::string native = native_path(path);
    if (mkdir(native.c_str(), 0777) == 0) return true;
    if (errno == EEXIST) return fail(kErrorAlreadyExists);
    // A missing parent is a missing path to Windows.
    return errno == ENOENT ? fail(kErrorPathNotFound) : fail_errno();
}

bool directory_remove(const char* path) {
    const std::string native = native_path(path);
    return rmdir(native.c_str()) == 0 || fail_errno();
}

Handle file_open_read(const char* path, std::uint32_t share) {
    return open_shared(path, O_RDONLY, posix::kAccessRead, share);
}

Handle file_open_read_plain(const char* path, std::uint32_t share) {
    struct stat info = {};
    // Opening a FIFO waits for a writer: such a path is refused before.
    if (stat(native_path(path).c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISDIR(info.st_mode)) {
        fail(kErrorBadFileType);
        return nullptr;
    }
    // Not blocking, in case it became one since; a terminal never becomes
    // the process's own.
    Handle file = open_shared(path, O_RDONLY | O_NONBLOCK | O_NOCTTY, posix::kAccessRead, share);
    if (file == nullptr) return nullptr;
    const int fd = fd_of(file);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        file_close(file);
        fail(kErrorBadFileType);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

namespace {

// CREATE_ALWAYS; an owner-only file loses its other permission bits before
// it is emptied, so what is written next is never readable by others.
Handle create_write(const char* path, std::uint32_t share, bool owner_only) {
    const std::string native = native_path(path);
    struct stat info = {};
    if (stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode) && is_read_only(info)) {
        fail(kErrorAccessDenied);
        return nullptr;
    }
    Handle file =
        open_shared(path, O_RDWR | O_CREAT, posix::kAccessWrite, share, owner_only ? 0600 : 0666);
    if (file == nullptr) return nullptr;
    if ((owner_only && fchmod(fd_of(file), S_IRUSR | S_IWUSR) != 0) ||
        ftruncate(fd_of(file), 0) != 0) {
        const int error = errno;
        file_close(file);
        posix::set_last_error_from_errno(error);
        return nullptr;
    }
    return file;
}

}  // namespace

Handle file_create_write(const char* path, std::uint32_t share) {
    return create_write(path, share, false);
}

Handle file_create_write_owner_only(const char* path, std::uint32_t share) {
    return create_write(path, share, true);
}

bool file_size(Handle file, std::uint64_t* size) {
    struct stat info = {};
    if (fstat(fd_of(file), &info) != 0) return fail_errno();
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool file_read(Handle file, void* buffer, std::size_t size, std::size_t* done) {
    *done = 0;
    for (;;) {
        const ssize_t got = read(fd_of(file), buffer, size);
        if (got >= 0) {
            *done = static_cast<std::size_t>(got);
            return true;
        }
        if (errno != EINTR) return fail_errno();
    }
}

bool file_write(Handle file, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = write(fd_of(file), bytes, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return fail_errno();
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

void file_close(Handle file) {
    FileObject* object = static_cast<FileObject*>(file);
    if (object == nullptr || object->magic != FileObject::kMagic) return;
    close(object->fd);
    object->magic = 0;
    delete object;
}

}  // namespace os
