// Named mutexes on POSIX: an exclusive flock on a per-user shared-memory
// name ("/quarn.<uid>.m.<encoded name>"), taken on a description of the
// handle's own, so separate handles exclude each other even inside one
// process, and the kernel releases a dead holder's lock. Threads sharing one
// handle take its in-process mutex first. The empty segment is left behind
// on purpose: removing it while another process waits on it would split the
// lock in two.
#include "os/mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <string>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

struct NamedMutex {
    int fd;
    std::mutex threads;
};

}  // namespace

Handle mutex_open(const char* name) {
    if (name == nullptr || *name == '\0') {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    std::string shm_name = posix::encode_object_name(name);
    shm_name.replace(shm_name.find(".o."), 3, ".m.");
    const int fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        posix::set_last_error_from_errno(errno);
        return nullptr;
    }
    auto* mutex = new (std::nothrow) NamedMutex{fd, {}};
    if (mutex == nullptr) {
        close(fd);
        set_last_error(kErrorNotEnoughMemory);
    }
    return mutex;
}

bool mutex_lock(Handle handle) {
    auto* mutex = static_cast<NamedMutex*>(handle);
    if (mutex == nullptr) return false;
    mutex->threads.lock();
    while (flock(mutex->fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            posix::set_last_error_from_errno(errno);
            mutex->threads.unlock();
            return false;
        }
    }
    return true;
}

void mutex_unlock(Handle handle) {
    auto* mutex = static_cast<NamedMutex*>(handle);
    if (mutex == nullptr) return;
    flock(mutex->fd, LOCK_UN);
    mutex->threads.unlock();
}

void mutex_close(Handle handle) {
    auto* mutex = static_cast<NamedMutex*>(handle);
    if (mutex == nullptr) return;
    close(mutex->fd);
    delete mutex;
}

}  // namespace os
