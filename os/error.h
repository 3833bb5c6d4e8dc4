// The calling thread's last system error, as Win32 codes (types.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

std::uint32_t last_error();
void set_last_error(std::uint32_t code);
// The system's message text for `code`: inserts ignored, line breaks
// suppressed (FORMAT_MESSAGE_MAX_WIDTH_MASK), user-default language, in the
// ANSI code page. Writes at most size-1 characters plus the terminator;
// returns the length, 0 when the system has no text for the code.
std::size_t error_message(std::uint32_t code, char* out, std::size_t size);

}  // namespace os
