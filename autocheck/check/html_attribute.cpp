#include "autocheck/check/html_attribute.h"

#include <cstring>

#include "cutil/memory.h"

namespace {

// The reference written for `c`, or null when the byte stays as it is.
const char* reference_of(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            return nullptr;
    }
}

}  // namespace

std::size_t html_attribute_length(const char* text) {
    std::size_t length = 0;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const char* reference = reference_of(*p);
        length += reference != nullptr ? std::strlen(reference) : 1;
    }
    return length;
}

char* html_attribute_escape(const char* text) {
    char* escaped = static_cast<char*>(MemAlloc_fre(html_attribute_length(text) + 1));
    if (escaped == nullptr) return nullptr;
    char* out = escaped;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (const char* reference = reference_of(*p)) {
            const std::size_t length = std::strlen(reference);
            std::memcpy(out, reference, length);
            out += length;
        } else {
            *out++ = *p;
        }
    }
    *out = '\0';
    return escaped;
}
