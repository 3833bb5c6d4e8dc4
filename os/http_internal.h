// URL helpers that both HTTP backends share (not part of the service's API).
#pragma once

#include <string>

namespace os::http_detail {

// True when `url` starts with "http://" or "https://" (any case).
bool has_http_scheme(const std::string& url);
// True when `url` starts with "https://" (any case).
bool has_https_scheme(const std::string& url);
// "localhost", "::1" and 127.0.0.0/8: never sent through a proxy.
bool host_is_loopback(const std::string& host);
// The absolute URL a Location header names, seen from `base`; "" when it
// names another scheme.
std::string resolve_location(const std::string& base, const std::string& location);

}  // namespace os::http_detail
