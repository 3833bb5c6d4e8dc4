#include "cutil/trace_fields.h"

#include <cstdio>
#include <cstring>

#include "cutil/trace.h"
#include "os/module.h"
#include "os/time.h"

namespace cutil::trace {

std::size_t module_name_from_path(const char* path, char* out, std::size_t size) {
    if (size == 0) return 0;
    out[0] = '\0';
    if (path == nullptr || path[0] == '\0') return 0;
    // Only a "\" after the first character counts as a directory separator.
    const char* last = std::strrchr(path + 1, '\\');
    if (last == nullptr) return 0;
    const char* name = last + 1;
    std::size_t length = std::strlen(name);
    if (length > size - 1) length = size - 1;
    std::memcpy(out, name, length);
    out[length] = '\0';
    return length;
}

std::size_t own_module_name(char* out, std::size_t size) {
    // cutil is linked statically into each module, so LogTrace lies in the
    // module whose name we want.
    char path[1024];
    const void* here = reinterpret_cast<const void*>(&LogTrace);
    if (os::module_path_of_address(here, path, sizeof path) == 0) path[0] = '\0';
    return module_name_from_path(path, out, size);
}

void stamp_local_time(char (&date)[12], char (&time)[16]) {
    const os::DateTime now = os::local_time();
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", now.year, now.month, now.day);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", now.hour, now.minute, now.second,
                  now.millisecond);
}

void copy_cut(char* field, const char* text, std::size_t limit) {
    if (text == nullptr) return;
    std::size_t length = std::strlen(text);
    if (length > limit) length = limit;
    std::memcpy(field, text, length);
}

const char* strip_dot_backslash(const char* source) {
    if (source != nullptr && source[0] == '.' && source[1] == '\\') return source + 2;
    return source;
}

}  // namespace cutil::trace
