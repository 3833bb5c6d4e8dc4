// Operating-system facts and settings.
#include "os/system.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <shlobj.h>

#include <cstring>

namespace os {

bool os_version(OsVersion* out) {
    if (out == nullptr) return false;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    OSVERSIONINFOEXA extended;
    std::memset(&extended, 0, sizeof extended);
    extended.dwOSVersionInfoSize = sizeof extended;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        out->major = extended.dwMajorVersion;
        out->minor = extended.dwMinorVersion;
        return true;
    }
    OSVERSIONINFOA basic;
    std::memset(&basic, 0, sizeof basic);
    basic.dwOSVersionInfoSize = sizeof basic;
    if (GetVersionExA(&basic)) {
        out->major = basic.dwMajorVersion;
        out->minor = basic.dwMinorVersion;
        return true;
    }
#pragma GCC diagnostic pop
    return false;
}

bool set_ip_ttl(unsigned ttl) { return SetIpTTL(ttl) == NO_ERROR; }

std::size_t env_get(const char* name, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    return GetEnvironmentVariableA(name, out, static_cast<DWORD>(out != nullptr ? size : 0));
}

bool env_set(const char* name, const char* value) {
    return SetEnvironmentVariableA(name, value) != FALSE;
}

std::size_t env_expand(const char* text, char* out, std::size_t size) {
    return ExpandEnvironmentStringsA(text, out, static_cast<DWORD>(out != nullptr ? size : 0));
}

std::size_t system_directory(char* out, std::size_t size) {
    return GetSystemDirectoryA(out, static_cast<UINT>(out != nullptr ? size : 0));
}

std::size_t app_data_folder(char* out, std::size_t size) {
    char folder[MAX_PATH] = "";
    if (out == nullptr || size == 0 ||
        FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return 0;
    }
    const std::size_t length = std::strlen(folder);
    if (length == 0 || length >= size) return 0;
    std::memcpy(out, folder, length + 1);
    return length;
}

bool path_is_absolute(const char* path) {
    if (path == nullptr) return false;
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

}  // namespace os
