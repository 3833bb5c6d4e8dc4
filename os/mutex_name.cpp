#include <cstdint>

#include "os/mutex.h"

namespace os {

std::string mutex_name_for_path(const char* prefix, const std::string& path) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string name = prefix;
    for (int shift = 60; shift >= 0; shift -= 4) name += digits[(hash >> shift) & 0xF];
    return name;
}

}  // namespace os
