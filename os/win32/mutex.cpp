// Named mutexes: the kernel's own.
#include "os/mutex.h"

#include <windows.h>

namespace os {

Handle mutex_open(const char* name) {
    return CreateMutexA(nullptr, FALSE, name);
}

bool mutex_lock(Handle mutex) {
    const DWORD result = WaitForSingleObject(mutex, kMutexWaitLimitMs);
    if (result == WAIT_TIMEOUT) SetLastError(kErrorTimeout);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void mutex_unlock(Handle mutex) {
    ReleaseMutex(mutex);
}

void mutex_close(Handle mutex) {
    if (mutex != nullptr) CloseHandle(mutex);
}

}  // namespace os
