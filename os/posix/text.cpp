// GBK (the ANSI code page of this backend) and UTF-16 through iconv.
#include "os/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/types.h"

namespace os {
namespace {

// Converts `length` bytes; an invalid or unconvertible sequence becomes
// `replacement` (in the target encoding) and conversion goes on after
// `skip` bytes of the input.
std::string convert(const char* to, const char* from, const char* text, std::size_t length,
                    const std::string& replacement, std::size_t skip) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string result;
    char buffer[1024];
    char* in = const_cast<char*>(text);
    std::size_t in_left = length;
    while (in_left > 0) {
        char* out = buffer;
        std::size_t out_left = sizeof buffer;
        const std::size_t done = iconv(cd, &in, &in_left, &out, &out_left);
        result.append(buffer, sizeof buffer - out_left);
        if (done != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a cut sequence at the end): replace and go on.
        result += replacement;
        const std::size_t step = skip < in_left ? skip : in_left;
        in += step;
        in_left -= step;
    }
    iconv_close(cd);
    return result;
}

const char kGbk[] = "GBK";
const char kUtf16[] = "UTF-16LE";

std::string u16_bytes(char16_t c) {
    return std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
}

}  // namespace

std::size_t acp_to_wide(const char* text, char16_t* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = 0;
    if (text == nullptr || out == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return static_cast<std::size_t>(-1);
    }
    const std::string bytes = convert(kUtf16, kGbk, text, std::strlen(text), u16_bytes(0xFFFD), 1);
    const std::size_t units = bytes.size() / 2;
    if (units + 1 > size) {
        set_last_error(kErrorInsufficientBuffer);
        return static_cast<std::size_t>(-1);
    }
    std::memcpy(out, bytes.data(), units * 2);
    out[units] = 0;
    return units;
}

std::size_t wide_to_acp(const char16_t* text, char* out, std::size_t size) {
    if (out != nullptr && size > 0) out[0] = '\0';
    if (text == nullptr || out == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return static_cast<std::size_t>(-1);
    }
    // Unmappable characters become "?", as WideCharToMultiByte's default.
    const std::string bytes =
        convert(kGbk, kUtf16, reinterpret_cast<const char*>(text), wide_length(text) * 2, "?", 2);
    if (bytes.size() + 1 > size) {
        set_last_error(kErrorInsufficientBuffer);
        return static_cast<std::size_t>(-1);
    }
    std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = '\0';
    return bytes.size();
}

std::string gbk_to_utf8(const char* text, std::size_t length) {
    if (text == nullptr) return std::string();
    return convert("UTF-8", kGbk, text, length, "\xEF\xBF\xBD", 1);
}

std::string utf8_to_gbk(const char* text, std::size_t length) {
    if (text == nullptr) return std::string();
    return convert(kGbk, "UTF-8", text, length, "?", 1);
}

}  // namespace os
