// Heap blocks of the library and the shared allocation table that an outside
// monitor reads to see which call sites hold memory.
#pragma once

#include <cstddef>

// Zero-filled block from the process heap; null when the heap is exhausted.
void* MemAlloc_fre(std::size_t size);
// Releases a block of MemAlloc_fre; a block whose heap size reads 0 is kept
// and traced.
void MemFree_fre(void* block);

// Registers / unregisters a long-lived block in the allocation table; both do
// nothing when no monitor runs.
void cutil_memory_track(const char* source, const void* address, std::size_t size,
                        const char* function, int line);
void cutil_memory_untrack(const void* address);
