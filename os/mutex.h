// Named mutexes, shared between processes and between threads of one
// process: a read-change-write of a shared store holds one around the whole
// change. Names are taken as the events take them.
#pragma once

#include <string>

#include "os/types.h"

namespace os {

// Creates the mutex or opens the one of that name (not held by the caller);
// null on failure, with the last error set.
Handle mutex_open(const char* name);
// Waits at most kMutexWaitLimitMs (then false, last error kErrorTimeout): a
// holder that hangs stalls no one for ever. A holder that died releases it
// (Windows reports the mutex abandoned; the waiter owns it all the same).
// False when the handle is not usable. POSIX: a name another account created
// is refused by mutex_open (access denied).
inline constexpr unsigned kMutexWaitLimitMs = 30000;
bool mutex_lock(Handle mutex);
void mutex_unlock(Handle mutex);
// Null does nothing.
void mutex_close(Handle mutex);

// Holds a named mutex for a scope; holds nothing when it could not be opened
// or locked (held() says which).
class NamedMutexLock {
  public:
    explicit NamedMutexLock(const char* name) : mutex_(mutex_open(name)) {
        held_ = mutex_ != nullptr && mutex_lock(mutex_);
    }
    ~NamedMutexLock() {
        if (held_) mutex_unlock(mutex_);
        mutex_close(mutex_);
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    bool held() const { return held_; }

  private:
    Handle mutex_;
    bool held_ = false;
};

}  // namespace os

namespace os {

// The name of the mutex that guards the file at `path`: `prefix`, then a
// hash of the path, since a mutex name cannot hold its separators. Either
// separator and any case name the same file.
std::string mutex_name_for_path(const char* prefix, const std::string& path);

}  // namespace os
