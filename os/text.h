// Conversions between the system ANSI code page (GBK on POSIX, the active
// code page on Windows: 936 on a Chinese system) and UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace os {

// Converts into a caller buffer; returns the number of units written without
// the terminator, or (size_t)-1 on failure. The output is always terminated
// when size > 0. Windows MultiByteToWideChar/WideCharToMultiByte with CP_ACP.
std::size_t acp_to_wide(const char* text, char16_t* out, std::size_t size);
std::size_t wide_to_acp(const char16_t* text, char* out, std::size_t size);
// Length of a UTF-16 text in units.
std::size_t wide_length(const char16_t* text);

// GBK to UTF-8 for display by the tools (iconv on POSIX; on Windows through
// UTF-16 with code page 936). Invalid bytes become U+FFFD.
std::string gbk_to_utf8(const char* text, std::size_t length);
std::string utf8_to_gbk(const char* text, std::size_t length);

}  // namespace os
