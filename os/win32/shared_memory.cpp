// Named file mappings backed by the paging file.
#include "os/shared_memory.h"

#include <windows.h>

namespace os {
namespace {

bool map(HANDLE mapping, std::size_t size, SharedMemory* out) {
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (view == nullptr) {
        const DWORD error = GetLastError();
        CloseHandle(mapping);
        SetLastError(error);
        return false;
    }
    if (size == 0) {
        MEMORY_BASIC_INFORMATION region{};
        VirtualQuery(view, &region, sizeof region);
        size = region.RegionSize;
    }
    out->mapping = mapping;
    out->view = view;
    out->size = size;
    return true;
}

}  // namespace

bool shared_memory_create(const char* name, std::size_t size, SharedMemory* out) {
    if (out == nullptr) return false;
    *out = SharedMemory{};
    const unsigned long long wide = size;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(wide >> 32), static_cast<DWORD>(wide),
                                        name);
    if (mapping == nullptr) return false;
    const DWORD created_or_existed = GetLastError();  // 0 or ERROR_ALREADY_EXISTS
    if (!map(mapping, size, out)) return false;
    SetLastError(created_or_existed);
    return true;
}

bool shared_memory_open(const char* name, std::size_t size, SharedMemory* out) {
    if (out == nullptr) return false;
    *out = SharedMemory{};
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr) return false;
    if (!map(mapping, size, out)) return false;
    SetLastError(ERROR_SUCCESS);
    return true;
}

void shared_memory_close(SharedMemory* memory) {
    if (memory == nullptr) return;
    if (memory->view != nullptr) UnmapViewOfFile(memory->view);
    if (memory->mapping != nullptr) CloseHandle(memory->mapping);
    *memory = SharedMemory{};
}

}  // namespace os
