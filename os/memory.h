// The process heap and the global allocator.
#pragma once

#include <cstddef>

namespace os {

// Zero-filled block from the process heap; null when the heap cannot supply it.
void* heap_alloc_zeroed(std::size_t size);
// Size of a heap block as the heap reports it; 0 for null or a foreign block
// (on Windows HeapSize returns (SIZE_T)-1 then, reported here as 0).
std::size_t heap_size(void* block);
bool heap_free(void* block);

// GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT): texts handed across modules. On
// POSIX every module shares the one allocator of the process, so a block
// allocated in one module may be freed in another, as on Windows.
void* global_alloc(std::size_t size);
// Null on success, the block on failure (as GlobalFree).
void* global_free(void* block);
std::size_t global_size(void* block);

}  // namespace os
