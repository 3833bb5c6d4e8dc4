#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "autocheck/desktop_agent/praxa_network.h"
#include "cutil/text.h"
#include "os/system.h"

int GetAgentModulePath(char* path, std::size_t size, const char* name_format, ...) {
    if (path == nullptr || size == 0) return 1;
    std::memset(path, 0, size);
    // A system directory that does not fit leaves the path empty rather than
    // making "\BrimAgent\…" a path on the current drive.
    const std::size_t length = os::system_directory(path, size);
    if (length == 0 || length >= size) {
        path[0] = '\0';
        return 1;
    }

    char name[256] = "";
    if (name_format != nullptr) {
        va_list arguments;
        va_start(arguments, name_format);
        std::vsnprintf(name, sizeof name, name_format, arguments);
        va_end(arguments);
    }
    cutil_str_append("\\BrimAgent", path, size);
    if (name[0] != '\\' && name[0] != '/') cutil_str_append("\\", path, size);
    cutil_str_append(name, path, size);
    return 1;
}
