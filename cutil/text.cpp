#include "cutil/text.h"

#include <cstring>

namespace {

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

const char* cutil_str_istr(const char* text, const char* needle) {
    if (text == nullptr || needle == nullptr || *needle == '\0') return nullptr;
    for (; *text != '\0'; ++text) {
        std::size_t i = 0;
        while (needle[i] != '\0' && fold(text[i]) == fold(needle[i])) ++i;
        if (needle[i] == '\0') return text;
    }
    return nullptr;
}

int cutil_str_niequal(const char* text, const char* other, std::size_t count) {
    if (text == nullptr || other == nullptr) return 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (fold(text[i]) != fold(other[i])) return 0;
        if (text[i] == '\0') return 1;
    }
    return 1;
}

int cutil_str_iequal(const char* text, const char* other) {
    return cutil_str_niequal(text, other, static_cast<std::size_t>(-1));
}

char* cutil_str_append(const char* text, char* destination, std::size_t size) {
    if (text == nullptr || destination == nullptr) return destination;
    const std::size_t used = std::strlen(destination);
    if (used >= size) return destination;
    const std::size_t length = std::strlen(text);
    const std::size_t room = size - used - 1;
    const std::size_t count = length < room ? length : room;
    std::memcpy(destination + used, text, count);
    destination[used + count] = '\0';
    return destination;
}
