// Named shared memory: the trace ring and the allocation table live here.
#pragma once

#include <cstddef>

#include "os/types.h"

namespace os {

struct SharedMemory {
    Handle mapping = nullptr;
    void* view = nullptr;  // the whole object, mapped read-write
    std::size_t size = 0;
};

// Creates a zero-filled object of `size` bytes, or opens it when it exists.
bool shared_memory_create(const char* name, std::size_t size, SharedMemory* out);
// Opens an existing object and maps `size` bytes of it (0: the whole object);
// false when there is none (last error 2) or it is smaller than `size`.
// Create on an existing object opens it with last error 183, else 0.
bool shared_memory_open(const char* name, std::size_t size, SharedMemory* out);
// Unmaps and closes; safe on a default-constructed or already closed value.
void shared_memory_close(SharedMemory* memory);

}  // namespace os
