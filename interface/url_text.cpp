#include <cstdlib>
#include <cstring>
#include <string>

#include "cutil/base64.h"
#include "cutil/text.h"
#include "interface/system_helpers.h"

namespace {

void replace_all(char* text, std::size_t length, char from, char to) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == from) text[i] = to;
    }
}

bool is_https(const char* url, const char* colon) {
    return colon - url == 5 && cutil_str_istr(url, "https") == url;
}

}  // namespace

void SplitUrlHostPort(const char* url, int* port, char* host, std::size_t host_size) {
    if (host != nullptr && host_size > 0) host[0] = '\0';
    if (url == nullptr) return;

    const char* end = url + std::strlen(url);
    const char* colon = std::strchr(url, ':');
    const char* start = url;
    if (colon != nullptr && colon[1] == '/') {
        // After "://"; a URL cut short inside it has no host.
        start = end - colon > 3 ? colon + 3 : end;
    }
    const char* slash = std::strchr(start, '/');
    const char* authority_end = slash != nullptr ? slash : end;
    const std::string authority(start, authority_end);

    const std::size_t port_colon = authority.find(':');
    std::string host_text;
    int port_value = 0;
    if (port_colon != std::string::npos) {
        host_text = authority.substr(0, port_colon);
        port_value = static_cast<int>(std::atol(authority.c_str() + port_colon + 1));
    } else {
        host_text = authority;
        port_value = colon != nullptr && colon[1] == '/' && is_https(url, colon) ? 443 : 80;
    }
    if (port != nullptr) *port = port_value;
    if (host != nullptr && host_text.size() < host_size) {
        std::memcpy(host, host_text.c_str(), host_text.size() + 1);
    }
}

int EncodeUrlBase64(const void* input, int length, char* output, int output_size) {
    if (input == nullptr || output == nullptr || output_size <= 0) return 0;
    if (length < 0) length = static_cast<int>(std::strlen(static_cast<const char*>(input)));
    const int written = cutil_base64_encode(input, length, output, output_size);
    if (written <= 0) return 0;
    const auto size = static_cast<std::size_t>(written);
    replace_all(output, size, '+', ',');
    replace_all(output, size, '=', ':');
    replace_all(output, size, '/', '.');
    return written;
}

int DecodeUrlBase64(const char* input, int length, void* output, int output_size) {
    if (input == nullptr || output == nullptr || output_size <= 0) return 0;
    if (length < 0) length = static_cast<int>(std::strlen(input));
    // A copy, so that the output may be the input itself.
    char* copy = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (copy == nullptr) return 0;
    std::memcpy(copy, input, static_cast<std::size_t>(length));
    copy[length] = '\0';
    const auto size = static_cast<std::size_t>(length);
    replace_all(copy, size, ',', '+');
    replace_all(copy, size, ':', '=');
    replace_all(copy, size, '.', '/');
    const int decoded = cutil_base64_decode(copy, length, output, output_size);
    std::free(copy);
    return decoded;
}
