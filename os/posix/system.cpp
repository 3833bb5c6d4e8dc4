// Operating-system facts and settings on POSIX.
#include "os/system.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/types.h"

namespace os {
namespace {

const char* set_or_null(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// The user's data folder, as the XDG base directories name it: an absolute
// $XDG_DATA_HOME, else ~/.local/share (the password database's home when
// HOME is unset). Kept per thread: the caller copies it at once.
const char* user_data_folder() {
    thread_local std::string folder;
    const char* xdg = set_or_null("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return (folder = xdg).c_str();
    const char* home = set_or_null("HOME");
    if (home == nullptr) {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr) return nullptr;
    folder = home;
    if (folder.back() != '/') folder += '/';
    return (folder += ".local/share").c_str();
}

// Windows names its program and application-data folders in the
// environment; POSIX does not. "%ProgramFiles%" stands for
// QUARN_PROGRAM_FILES_DIR, else "/opt"; "%APPDATA%" for the user's data
// folder, so the assistant lives in ~/.local/share/Quarn/ rather than in a
// "C:" folder under whatever the current directory is. A value the
// environment sets wins.
const char* variable(const char* name) {
    const char* value = std::getenv(name);
    if (value != nullptr) return value;
    if (std::strcmp(name, "APPDATA") == 0) return user_data_folder();
    if (std::strcmp(name, "ProgramFiles") != 0) return nullptr;
    const char* configured = set_or_null("QUARN_PROGRAM_FILES_DIR");
    return configured != nullptr ? configured : "/opt";
}

}  // namespace

bool os_version(OsVersion* out) {
    if (out == nullptr) return false;
    // No Windows version to report: the agent is told it runs on a Windows 7
    // equivalent (6.1), the oldest system it takes the modern paths on.
    out->major = 6;
    out->minor = 1;
    return true;
}

bool set_ip_ttl(unsigned /*ttl*/) {
    // Never changes the host's networking: callers take their fallback.
    set_last_error(50);  // ERROR_NOT_SUPPORTED
    return false;
}

std::size_t env_get(const char* name, char* out, std::size_t size) {
    const char* value = name != nullptr ? variable(name) : nullptr;
    if (value == nullptr) {
        set_last_error(203);  // ERROR_ENVVAR_NOT_FOUND
        if (out != nullptr && size > 0) out[0] = '\0';
        return 0;
    }
    const std::size_t length = std::strlen(value);
    if (out == nullptr || length + 1 > size) return length + 1;  // the size it needs
    std::memcpy(out, value, length + 1);
    return length;
}

bool env_set(const char* name, const char* value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const int result = value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    if (result != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    return true;
}

std::size_t env_expand(const char* text, char* out, std::size_t size) {
    if (text == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return 0;
    }
    std::string result;
    for (const char* p = text; *p != '\0';) {
        const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (close == nullptr) {
            result += *p++;
            continue;
        }
        const std::string name(p + 1, close);
        const char* value = name.empty() ? nullptr : variable(name.c_str());
        if (value != nullptr) {
            result += value;
            p = close + 1;
        } else {
            // An unknown name stays as written; its closing % may open the next.
            result.append(p, close);
            p = close;
        }
    }
    const std::size_t needed = result.size() + 1;
    if (out != nullptr && needed <= size) std::memcpy(out, result.c_str(), needed);
    return needed;
}

std::size_t system_directory(char* out, std::size_t size) {
    const char* configured = std::getenv("QUARN_SYSTEM_DIR");
    const std::string folder =
        configured != nullptr && *configured != '\0' ? configured : "/usr/bin";
    if (out == nullptr || folder.size() + 1 > size) return folder.size() + 1;
    return posix::copy_out(folder, out, size);
}

std::size_t app_data_folder(char* out, std::size_t size) {
    const char* folder = user_data_folder();
    const std::size_t length = folder != nullptr ? std::strlen(folder) : 0;
    if (out == nullptr || length == 0 || length >= size) return 0;
    std::memcpy(out, folder, length + 1);
    return length;
}

bool path_is_absolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

}  // namespace os
