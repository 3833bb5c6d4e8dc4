// Last error and system message texts.
#include "os/error.h"

#include <windows.h>

#include <cstring>

namespace os {

std::uint32_t last_error() { return GetLastError(); }

void set_last_error(std::uint32_t code) { SetLastError(code); }

std::size_t error_message(std::uint32_t code, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text),
        0, nullptr);
    if (length == 0 || text == nullptr) return 0;
    // The text as the system gives it, trailing blank included.
    const std::size_t count = length < size - 1 ? length : size - 1;
    std::memcpy(out, text, count);
    out[count] = '\0';
    LocalFree(text);
    return count;
}

}  // namespace os
