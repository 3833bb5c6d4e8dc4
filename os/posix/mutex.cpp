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
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

struct NamedMutex {
    int fd;
    std::timed_mutex threads;
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
    // Another account may create the name first (the folder is everyone's)
    // and hold its lock for ever: such an object is never ours.
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_uid != getuid()) {
        close(fd);
        set_last_error(kErrorAccessDenied);
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
    if (!mutex->threads.try_lock_for(std::chrono::milliseconds(kMutexWaitLimitMs))) {
        set_last_error(kErrorTimeout);
        return false;
    }
    // Polled so that the wait has an end: a holder that hangs must not stall
    // every reader and writer of the store with it.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kMutexWaitLimitMs);
    long pause = 20;  // microseconds, doubling: a short turn costs little
    while (flock(mutex->fd, LOCK_EX | LOCK_NB) != 0) {
        const int error_number = errno;
        if (error_number == EINTR) continue;
        if (error_number != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            if (error_number == EWOULDBLOCK) {
                set_last_error(kErrorTimeout);
            } else {
                posix::set_last_error_from_errno(error_number);
            }
            mutex->threads.unlock();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        if (pause < 5000) pause *= 2;
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
