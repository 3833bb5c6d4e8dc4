// Windows refuses an open whose access another opener does not share, or
// whose sharing does not cover another opener's access. Each open through
// os::file_open_read / file_create_write holds read locks (F_OFD_SETLK, so
// they belong to the open file and vanish with it, across processes) on
// marker bytes: one per access it has and one per access it denies. A later
// opener tests the markers with F_OFD_GETLK. Only our own opens take part:
// another program's open() is not seen (Linux has no mandatory sharing).
#include <fcntl.h>

#include <cstdint>

#include "os/posix/file_internal.h"

namespace os::posix {
namespace {

constexpr off_t kMarkerBase = static_cast<off_t>(0x7FFFFFFF00000000LL);
constexpr int kKinds = 3;  // read, write, delete

off_t has_marker(int kind) {
    return kMarkerBase + kind;
}
off_t denies_marker(int kind) {
    return kMarkerBase + kKinds + kind;
}

// A one-byte open-file-description lock request on `marker`.
struct flock marker_lock(short type, off_t marker) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = marker;
    lock.l_len = 1;
    return lock;
}

bool held_by_other(int fd, off_t marker) {
    struct flock probe = marker_lock(F_WRLCK, marker);
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

bool hold(int fd, off_t marker) {
    struct flock lock = marker_lock(F_RDLCK, marker);
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

bool sharing_conflicts(int fd, std::uint32_t access, std::uint32_t share) {
    for (int kind = 0; kind < kKinds; ++kind) {
        const std::uint32_t bit = 1u << kind;
        if ((access & bit) != 0 && held_by_other(fd, denies_marker(kind))) return true;
        if ((share & bit) == 0 && held_by_other(fd, has_marker(kind))) return true;
    }
    return false;
}

bool sharing_announce(int fd, std::uint32_t access, std::uint32_t share) {
    for (int kind = 0; kind < kKinds; ++kind) {
        const std::uint32_t bit = 1u << kind;
        if ((access & bit) != 0 && !hold(fd, has_marker(kind))) return false;
        if ((share & bit) == 0 && !hold(fd, denies_marker(kind))) return false;
    }
    return true;
}

}  // namespace os::posix
