// The process heap and the global allocator: one malloc-backed allocator
// with a small header that records the requested size (HeapSize and
// GlobalSize report exactly what was asked for, as on Windows).
#include "os/memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "os/error.h"
#include "os/types.h"

namespace os {
namespace {

// 16 bytes keep the caller's block 16-byte aligned, as malloc's is.
struct alignas(16) BlockHeader {
    std::uint64_t size;
    std::uint32_t magic;
    std::uint32_t check;  // size folded with the magic: a second witness
};
static_assert(sizeof(BlockHeader) == 16, "header keeps the block aligned");

constexpr std::uint32_t kLiveMagic = 0x51484550u;  // "QHEP"

std::uint32_t check_of(std::uint64_t size) {
    return kLiveMagic ^ static_cast<std::uint32_t>(size) ^ static_cast<std::uint32_t>(size >> 32);
}

void* allocate(std::size_t size) {
    if (size > static_cast<std::size_t>(PTRDIFF_MAX) - sizeof(BlockHeader)) {
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
    if (header == nullptr) {
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    header->size = size;
    header->magic = kLiveMagic;
    header->check = check_of(size);
    return header + 1;
}

// The header of one of our blocks, or null for anything else. The header
// read of a foreign pointer may land in another allocator's bookkeeping (or
// AddressSanitizer's red zone): that read is deliberate, so it is not
// instrumented.
__attribute__((no_sanitize("address"))) BlockHeader* header_of(void* block) {
    if (block == nullptr || reinterpret_cast<std::uintptr_t>(block) % 16 != 0) return nullptr;
    auto* header = static_cast<BlockHeader*>(block) - 1;
    const BlockHeader copy = *header;
    if (copy.magic != kLiveMagic || copy.check != check_of(copy.size)) return nullptr;
    return header;
}

__attribute__((no_sanitize("address"))) std::size_t size_of(BlockHeader* header) {
    return static_cast<std::size_t>(header->size);
}

bool release(void* block) {
    BlockHeader* header = header_of(block);
    if (header == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    header->magic = 0;  // a second free of the same block is refused
    header->check = 0;
    std::free(header);
    return true;
}

}  // namespace

void* heap_alloc_zeroed(std::size_t size) { return allocate(size); }

std::size_t heap_size(void* block) {
    BlockHeader* header = header_of(block);
    return header != nullptr ? size_of(header) : 0;
}

bool heap_free(void* block) {
    if (block == nullptr) return true;  // HeapFree of null succeeds
    return release(block);
}

void* global_alloc(std::size_t size) { return allocate(size); }

void* global_free(void* block) {
    if (block == nullptr) return nullptr;
    return release(block) ? nullptr : block;
}

std::size_t global_size(void* block) {
    BlockHeader* header = header_of(block);
    if (header == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return 0;
    }
    return size_of(header);
}

}  // namespace os
