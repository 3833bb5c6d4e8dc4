// The process heap and the global allocator.
#include "os/memory.h"

#include <windows.h>

namespace os {

void* heap_alloc_zeroed(std::size_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

std::size_t heap_size(void* block) {
    if (block == nullptr) return 0;
    const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
    return size == static_cast<SIZE_T>(-1) ? 0 : size;
}

bool heap_free(void* block) { return HeapFree(GetProcessHeap(), 0, block) != FALSE; }

void* global_alloc(std::size_t size) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size); }

void* global_free(void* block) { return GlobalFree(block); }

std::size_t global_size(void* block) { return block == nullptr ? 0 : GlobalSize(block); }

}  // namespace os
