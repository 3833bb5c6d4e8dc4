// The ANSI code page and UTF-16 through the system's converters.
#include "os/text.h"

#include <windows.h>

#include <cstring>

namespace os {
namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring to_wide(UINT code_page, const char* text, std::size_t length) {
    if (length == 0) return std::wstring();
    const int units = MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), &wide[0], units);
    return wide;
}

std::string from_wide(UINT code_page, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int bytes = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), &text[0], bytes,
                        nullptr, nullptr);
    return text;
}

}  // namespace

std::size_t acp_to_wide(const char* text, char16_t* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = 0;
    if (text == nullptr || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<std::size_t>(-1);
    }
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out),
                                          static_cast<int>(size));
    if (units <= 0) {
        if (size > 0) out[0] = 0;
        return static_cast<std::size_t>(-1);
    }
    return static_cast<std::size_t>(units) - 1;  // without the terminator
}

std::size_t wide_to_acp(const char16_t* text, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    if (text == nullptr || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<std::size_t>(-1);
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1,
                                          out, static_cast<int>(size), nullptr, nullptr);
    if (bytes <= 0) {
        if (size > 0) out[0] = '\0';
        return static_cast<std::size_t>(-1);
    }
    return static_cast<std::size_t>(bytes) - 1;
}

std::string gbk_to_utf8(const char* text, std::size_t length) {
    if (text == nullptr) return std::string();
    return from_wide(CP_UTF8, to_wide(kGbkCodePage, text, length));
}

std::string utf8_to_gbk(const char* text, std::size_t length) {
    if (text == nullptr) return std::string();
    return from_wide(kGbkCodePage, to_wide(CP_UTF8, text, length));
}

}  // namespace os
