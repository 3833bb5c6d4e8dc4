// The parts of the HTTP service that both backends share.
#include "os/http.h"

#include "os/http_internal.h"

namespace os {

const char* http_error_name(HttpError error) {
    switch (error) {
        case HttpError::kNone:
            return "none";
        case HttpError::kBadUrl:
            return "bad url";
        case HttpError::kConnect:
            return "cannot connect";
        case HttpError::kTimeout:
            return "timed out";
        case HttpError::kTooManyRedirects:
            return "too many redirects";
        case HttpError::kBodyTooLarge:
            return "body too large";
        case HttpError::kTls:
            return "tls failure";
        case HttpError::kOther:
            break;
    }
    return "failed";
}

namespace http_detail {

namespace {

// True when `url` starts with `scheme` (lower case, any case in `url`) and
// has more after it.
bool starts_with_scheme(const std::string& url, const char* scheme, std::size_t length) {
    if (url.size() <= length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = url[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != scheme[i]) return false;
    }
    return true;
}

}  // namespace

bool has_http_scheme(const std::string& url) {
    return starts_with_scheme(url, "http://", 7) || has_https_scheme(url);
}

bool has_https_scheme(const std::string& url) {
    return starts_with_scheme(url, "https://", 8);
}

bool host_is_loopback(const std::string& host) {
    std::string lower;
    for (const char c : host) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (lower == "localhost" || lower == "::1" || lower == "[::1]") return true;
    return lower.compare(0, 4, "127.") == 0;
}

std::string resolve_location(const std::string& base, const std::string& location) {
    if (has_http_scheme(location)) return location;
    if (location.find("://") != std::string::npos) return std::string();  // another scheme
    const std::size_t authority = base.find("://");
    if (authority == std::string::npos) return std::string();
    if (location.compare(0, 2, "//") == 0) return base.substr(0, authority + 1) + location;
    const std::size_t path = base.find('/', authority + 3);
    const std::string origin = path == std::string::npos ? base : base.substr(0, path);
    if (!location.empty() && location[0] == '/') return origin + location;
    // Relative to the folder of the base's path (query and fragment dropped).
    std::string folder = path == std::string::npos ? "/" : base.substr(path);
    folder = folder.substr(0, folder.find_first_of("?#"));
    return origin + folder.substr(0, folder.rfind('/') + 1) + location;
}

}  // namespace http_detail
}  // namespace os
