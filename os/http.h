// One HTTP or HTTPS request through the platform's own client (WinHTTP on
// Windows, libcurl on POSIX): the HTTP client module and the module-call
// component stand on this call and on the atomic file store beside it.
//
// Both backends behave alike: redirects are followed by this layer's rules
// (at most kHttpMaxRedirects hops, http and https only, never from https
// down to http), HTTPS is checked against the system's trust store (and a
// pinned key when one is given), and the system's proxy settings apply to
// every host except loopback. docs/http_client.md gives the limits and why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

inline constexpr std::uint32_t kHttpConnectTimeoutMs = 10000;
inline constexpr std::uint32_t kHttpTotalTimeoutMs = 120000;
inline constexpr std::size_t kHttpMaxBody = 64u * 1024u * 1024u;
inline constexpr int kHttpMaxRedirects = 5;

struct HttpLimits {
    std::uint32_t connect_timeout_ms = kHttpConnectTimeoutMs;
    // The whole exchange, redirects included.
    std::uint32_t total_timeout_ms = kHttpTotalTimeoutMs;
    std::size_t max_body = kHttpMaxBody;
};

struct HttpRequest {
    std::string method = "GET";        // "GET" or "POST"
    std::string url;                   // http:// or https://
    std::vector<std::string> headers;  // "Name: value" lines
    std::string body;                  // sent with POST
    HttpLimits limits;
    // Base64 of the SHA-256 of the server's DER SubjectPublicKeyInfo. When
    // set, an HTTPS server must present this key as well as a certificate
    // the trust store accepts for the host name; a pin never widens trust.
    std::string server_key_pin;
};

enum class HttpError {
    kNone,              // a response arrived (any status)
    kBadUrl,            // not an http(s) URL, or a redirect to one
    kConnect,           // name resolution or connection failed
    kTimeout,           // a limit of HttpLimits ran out
    kTooManyRedirects,  // more than kHttpMaxRedirects hops
    kBodyTooLarge,      // the body passed HttpLimits::max_body
    kTls,               // the certificate, the pin or the TLS handshake failed, or a
                        // redirect led from https to http
    kOther,
};

struct HttpResponse {
    HttpError error = HttpError::kOther;
    int status = 0;      // of the last hop
    std::string body;    // bytes exactly as received
    std::string detail;  // the platform's own words about a failure
};

// Runs one request. True when a response arrived (error kNone), whatever its
// status; false with `error` and `detail` set otherwise.
bool http_request(const HttpRequest& request, HttpResponse* response);

// Adds a root certificate (DER) to the current user's trusted roots, which
// HTTPS verification consults, or takes it out again: for provisioning a
// private deployment and for tests. Windows only (the user's "Root" store);
// on POSIX the store is OpenSSL's (SSL_CERT_FILE / SSL_CERT_DIR) and both
// return false.
bool http_trust_root_add(const std::vector<std::uint8_t>& der);
bool http_trust_root_remove(const std::vector<std::uint8_t>& der);

// A short English name of an error, for traces.
const char* http_error_name(HttpError error);

// Stores `data` at `path` atomically: a new temporary file in the same
// folder receives the bytes and is flushed, then replaces `path` in one step
// (MoveFileEx with MOVEFILE_REPLACE_EXISTING / rename). On failure `path` is
// untouched and the temporary file removed; the last error is set.
bool file_store_atomically(const char* path, const void* data, std::size_t size);

}  // namespace os
