// Last error and system message texts.
#include "os/error.h"

#include <windows.h>

#include <cstring>

namespace os {

std::uint32_t last_error() {
    return GetLastError();
}

void set_last_error(std::uint32_t code) {
    SetLastError(code);
}

std::size_t error_message(std::uint32_t code, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    // On the stack, not a system-allocated buffer: the trace channel takes
    // nothing from the heap. The system refuses rather than cuts a text that
    // does not fit, so the whole text comes here first and is cut on copy.
    char text[4096];
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    if (length == 0) return 0;
    // The text as the system gives it, trailing blank included.
    const std::size_t count = length < size - 1 ? length : size - 1;
    std::memcpy(out, text, count);
    out[count] = '\0';
    return count;
}

}  // namespace os
