// Modules through the Windows loader.
#include "os/module.h"

#include <windows.h>

namespace os {
namespace {

// GetModuleFileNameA's result in the "at most size-1 plus terminator" form
// (on XP a cut path is not terminated; on later systems it is).
std::size_t module_file_name(HMODULE module, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    const DWORD length = GetModuleFileNameA(module, out, static_cast<DWORD>(size));
    if (length == 0) return 0;
    if (length >= size) {
        out[size - 1] = '\0';
        return size - 1;
    }
    return length;
}

}  // namespace

Handle module_load(const char* path) { return LoadLibraryA(path); }

Handle module_find(const char* file_name) { return GetModuleHandleA(file_name); }

void* module_symbol(Handle module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* module_own_symbol(Handle module, const char* name) {
    void* address = module_symbol(module, name);
    if (address == nullptr) return nullptr;
    HMODULE holder = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &holder) ||
        holder != static_cast<HMODULE>(module)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return address;
}

std::size_t module_path_of_address(const void* address, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module)) {
        return 0;
    }
    return module_file_name(module, out, size);
}

std::size_t module_executable_path(char* out, std::size_t size) {
    return module_file_name(nullptr, out, size);
}

}  // namespace os
