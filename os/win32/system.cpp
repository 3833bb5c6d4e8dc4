// Operating-system facts and settings.
#include "os/system.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

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

}  // namespace os
