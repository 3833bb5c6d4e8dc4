#include "cutil/url_text.h"

#include <cstring>

#include "cutil/text.h"

namespace {

bool is_unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the parameter name that ends just before text[equals] ends in
// one of the secret names.
bool names_secret(const std::string& text, std::size_t equals) {
    static const char* const kSecretEndings[] = {"password", "passwd", "pwd"};
    for (const char* ending : kSecretEndings) {
        const std::size_t length = std::strlen(ending);
        if (equals < length) continue;
        bool same = true;
        for (std::size_t i = 0; i < length && same; ++i) {
            same = lower(text[equals - length + i]) == ending[i];
        }
        if (same) return true;
    }
    return false;
}

bool ends_value(char c) {
    return c == '&' || c == '#' || c == ' ' || c == '"' || c == '\'' || c == '<' || c == '\r' ||
           c == '\n' || c == '\t';
}

}  // namespace

bool cutil_url_escape_to(const char* value, char* out, std::size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (out == nullptr || size == 0) return false;
    std::size_t used = 0;
    for (const char* p = value; p != nullptr && *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        const std::size_t need = is_unreserved(c) ? 1 : 3;
        if (used + need >= size) {
            out[0] = '\0';
            return false;
        }
        if (need == 1) {
            out[used++] = static_cast<char>(c);
        } else {
            out[used++] = '%';
            out[used++] = kDigits[c >> 4];
            out[used++] = kDigits[c & 0x0F];
        }
    }
    out[used] = '\0';
    return true;
}

std::string cutil_url_escape(const char* value) {
    std::string escaped(value != nullptr ? std::strlen(value) * 3 + 1 : 1, '\0');
    cutil_url_escape_to(value, &escaped[0], escaped.size());
    escaped.resize(std::strlen(escaped.c_str()));
    return escaped;
}

std::string cutil_url_mask_secrets(const char* text) {
    if (text == nullptr) return {};
    std::string masked(text);
    for (std::size_t equals = masked.find('='); equals != std::string::npos;
         equals = masked.find('=', equals + 1)) {
        if (!names_secret(masked, equals)) continue;
        std::size_t end = equals + 1;
        while (end < masked.size() && !ends_value(masked[end])) ++end;
        if (end == equals + 1) continue;  // an empty value hides nothing
        masked.replace(equals + 1, end - equals - 1, "***");
    }
    return masked;
}

bool cutil_url_is_web(const char* address) {
    if (address == nullptr) return false;
    std::size_t scheme = 0;
    if (cutil_str_niequal(address, "http://", 7)) {
        scheme = 7;
    } else if (cutil_str_niequal(address, "https://", 8)) {
        scheme = 8;
    } else {
        return false;
    }
    const char* host = address + scheme;
    if (*host == '\0' || *host == '/' || *host == '\\') return false;
    for (const char* p = address; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c <= 0x20 || c == 0x7F || c == '"') return false;
    }
    return true;
}
