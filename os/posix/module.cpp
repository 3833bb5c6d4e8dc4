// Modules through the dynamic loader. Windows finds loaded modules by file
// name without regard to case; so do we, over the loader's object list.
#include "os/module.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

// Read once: the loader's name for the program does not change while it runs,
// and module look-ups ask for it at every call (a replaced program file would
// read back with " (deleted)" after it).
std::string executable_path() {
    static const std::string path = [] {
        char buffer[4096];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return length <= 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
    }();
    return path;
}

const char* file_name_part(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

struct FindRequest {
    const char* file_name = nullptr;
    std::string found;  // the loader's path of the match ("" = the executable)
    bool matched = false;
};

int find_by_name(dl_phdr_info* info, size_t, void* data) {
    auto* request = static_cast<FindRequest*>(data);
    const char* path = info->dlpi_name;
    std::string executable;
    if (path == nullptr || *path == '\0') {
        executable = executable_path();
        path = executable.c_str();
    }
    if (strcasecmp(file_name_part(path), request->file_name) == 0) {
        request->found = info->dlpi_name != nullptr ? info->dlpi_name : "";
        request->matched = true;
        return 1;
    }
    return 0;
}

struct AddressRequest {
    std::uintptr_t address = 0;
    std::string path;
    bool matched = false;
};

int find_by_address(dl_phdr_info* info, size_t, void* data) {
    auto* request = static_cast<AddressRequest*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (request->address >= start && request->address < start + segment.p_memsz) {
            request->path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            request->matched = true;
            return 1;
        }
    }
    return 0;
}

bool file_exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

}  // namespace

Handle module_load(const char* path) {
    if (path == nullptr || *path == '\0') {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    std::string native = posix::native_path(path);
    if (native.find('/') == std::string::npos) {
        // A bare file name: an already-loaded module of that name, then the
        // executable's folder (where LoadLibraryA looks first).
        if (Handle loaded = module_find(native.c_str())) return loaded;
        std::string beside = executable_path();
        beside = beside.substr(0, beside.rfind('/') + 1) + native;
        if (file_exists(beside)) native = beside;
    }
    dlerror();
    Handle module = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        // A missing file is "module not found"; one that exists but does not
        // load is not a valid image for this system.
        set_last_error(file_exists(native) ? kErrorBadExeFormat : kErrorModNotFound);
    }
    return module;
}

Handle module_find(const char* file_name) {
    if (file_name == nullptr) return dlopen(nullptr, RTLD_NOW);
    FindRequest request;
    request.file_name = file_name_part(file_name);
    dl_iterate_phdr(find_by_name, &request);
    if (!request.matched) {
        set_last_error(kErrorModNotFound);
        return nullptr;
    }
    Handle module = request.found.empty() ? dlopen(nullptr, RTLD_NOW)
                                          : dlopen(request.found.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        set_last_error(kErrorModNotFound);
    } else if (!request.found.empty()) {
        // GetModuleHandleA takes no reference: give back the one RTLD_NOLOAD
        // took, so that the module still unloads with its last module_free.
        dlclose(module);
    }
    return module;
}

void* module_symbol(Handle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        set_last_error(module == nullptr ? kErrorInvalidHandle : kErrorInvalidParameter);
        return nullptr;
    }
    dlerror();
    void* address = dlsym(module, name);
    if (address == nullptr) set_last_error(kErrorProcNotFound);
    return address;
}

void* module_own_symbol(Handle module, const char* name) {
    void* address = module_symbol(module, name);
    if (address == nullptr) return nullptr;
    link_map* own = nullptr;
    Dl_info info{};
    link_map* holder = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr ||
        dladdr1(address, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) == 0 ||
        holder != own) {
        set_last_error(kErrorProcNotFound);
        return nullptr;
    }
    return address;
}

std::size_t module_path_of_address(const void* address, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    AddressRequest request;
    request.address = reinterpret_cast<std::uintptr_t>(address);
    dl_iterate_phdr(find_by_address, &request);
    if (!request.matched) {
        set_last_error(kErrorModNotFound);
        return 0;
    }
    std::string path = request.path.empty() ? executable_path() : request.path;
    if (!path.empty() && path[0] != '/') {
        char resolved[4096];
        if (realpath(path.c_str(), resolved) != nullptr) path = resolved;
    }
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return posix::copy_out(path, out, size);
}

std::size_t module_executable_path(char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    const std::string path = executable_path();
    if (path.empty()) {
        set_last_error(kErrorFileNotFound);
        return 0;
    }
    return posix::copy_out(path, out, size);
}

}  // namespace os
