// Last error and system message texts.
#include "os/error.h"

#include <windows.h>

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
    // Straight into the caller's buffer: the trace channel takes nothing from
    // the heap. The text as the system gives it, trailing blank included.
    const DWORD capacity = size > 0xFFFFu ? 0xFFFFu : static_cast<DWORD>(size);
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), out, capacity, nullptr);
    if (length == 0) {
        out[0] = '\0';
        return 0;
    }
    out[length < size ? length : size - 1] = '\0';
    return length;
}

}  // namespace os
