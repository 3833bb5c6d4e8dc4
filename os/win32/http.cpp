// HTTP on Windows: WinHTTP, synchronous. Redirects are followed here rather
// than by WinHTTP so that both backends count and check hops alike. The proxy
// comes from the user's Internet settings (automatic detection or script,
// else a named proxy), else WinHTTP's default proxy; loopback never uses one.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
// clang-format on

#include "os/http.h"

#include <memory>
#include <string>

#include "os/crypto.h"
#include "os/http_internal.h"

namespace os {
namespace {

struct InternetFree {
    void operator()(void* handle) const { WinHttpCloseHandle(static_cast<HINTERNET>(handle)); }
};
using Internet = std::unique_ptr<void, InternetFree>;

std::wstring widen(const std::string& text) {
    const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(static_cast<std::size_t>(units - 1));
    return wide;
}

std::string narrow(const wchar_t* wide) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], bytes, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(bytes - 1));
    return text;
}

HttpError error_of(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_INVALID_URL:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return HttpError::kBadUrl;
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return HttpError::kConnect;
        case ERROR_WINHTTP_TIMEOUT:
            return HttpError::kTimeout;
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
            return HttpError::kTls;
        default:
            return HttpError::kOther;
    }
}

bool fail(HttpResponse* response, HttpError error, const char* what) {
    const DWORD code = GetLastError();
    response->error = error == HttpError::kOther ? error_of(code) : error;
    response->detail = std::string(what) + " failed, error " + std::to_string(code);
    response->body.clear();
    return false;
}

// Chooses the proxy of one request, as the user's Internet settings say.
void apply_proxy(HINTERNET session, HINTERNET request, const std::wstring& url,
                 const std::string& host) {
    WINHTTP_PROXY_INFO none{};
    none.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (http_detail::host_is_loopback(host)) {
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &none, sizeof none);
        return;
    }
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) return;  // WinHTTP's default proxy
    WINHTTP_AUTOPROXY_OPTIONS automatic{};
    WINHTTP_PROXY_INFO found{};
    bool have_found = false;
    if (user.fAutoDetect || user.lpszAutoConfigUrl != nullptr) {
        automatic.dwFlags = user.lpszAutoConfigUrl != nullptr ? WINHTTP_AUTOPROXY_CONFIG_URL
                                                              : WINHTTP_AUTOPROXY_AUTO_DETECT;
        automatic.dwAutoDetectFlags =
            user.fAutoDetect ? WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A : 0;
        automatic.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
        automatic.fAutoLogonIfChallenged = TRUE;
        have_found = WinHttpGetProxyForUrl(session, url.c_str(), &automatic, &found) != FALSE;
    }
    if (have_found) {
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof found);
    } else if (user.lpszProxy != nullptr) {
        WINHTTP_PROXY_INFO named{};
        named.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        named.lpszProxy = user.lpszProxy;
        named.lpszProxyBypass = user.lpszProxyBypass;
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &named, sizeof named);
    }
    for (wchar_t* text : {found.lpszProxy, found.lpszProxyBypass, user.lpszAutoConfigUrl,
                          user.lpszProxy, user.lpszProxyBypass}) {
        if (text != nullptr) GlobalFree(text);
    }
}

// Base64 of the SHA-256 of the DER SubjectPublicKeyInfo of the server's
// certificate on `request`'s connection; empty when it cannot be read.
std::string server_key_pin(HINTERNET request) {
    PCCERT_CONTEXT certificate = nullptr;
    DWORD size = sizeof certificate;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) ||
        certificate == nullptr) {
        return std::string();
    }
    std::string pin;
    BYTE* encoded = nullptr;
    DWORD encoded_size = 0;
    if (CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                            &certificate->pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG,
                            nullptr, &encoded, &encoded_size)) {
        Sha256Digest digest{};
        char text[64] = "";
        DWORD length = sizeof text;
        if (sha256({{encoded, encoded_size}}, digest) &&
            CryptBinaryToStringA(digest.data(), static_cast<DWORD>(digest.size()),
                                 CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, text, &length)) {
            pin.assign(text, length);
        }
        LocalFree(encoded);
    }
    CertFreeCertificateContext(certificate);
    return pin;
}

struct Hop {
    int status = 0;
    std::string location;  // of a redirect
};

// One request without following redirects; the body lands in response->body.
bool one_hop(HINTERNET session, const std::string& method, const std::string& url,
             const HttpRequest& request, DWORD deadline, Hop* hop, HttpResponse* response) {
    const std::wstring wide_url = widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (wide_url.empty() || !WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) {
        return fail(response, HttpError::kBadUrl, "WinHttpCrackUrl");
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    Internet connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
    if (!connection) return fail(response, HttpError::kOther, "WinHttpConnect");
    Internet handle(WinHttpOpenRequest(connection.get(), widen(method).c_str(), path.c_str(),
                                       nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       secure ? WINHTTP_FLAG_SECURE : 0));
    if (!handle) return fail(response, HttpError::kOther, "WinHttpOpenRequest");
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    // One connection per request: a pooled connection that the server has
    // closed meanwhile would fail a POST, which is not retried.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(handle.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    apply_proxy(session, handle.get(), wide_url, narrow(host.c_str()));

    // Every wait is bounded by what is left of the whole exchange.
    const DWORD left = deadline - GetTickCount();
    if (static_cast<int>(left) <= 0) return fail(response, HttpError::kTimeout, "deadline");
    const int connect_ms = static_cast<int>(
        left < request.limits.connect_timeout_ms ? left : request.limits.connect_timeout_ms);
    WinHttpSetTimeouts(handle.get(), connect_ms, connect_ms, static_cast<int>(left),
                       static_cast<int>(left));

    std::wstring headers;
    for (const std::string& line : request.headers) headers += widen(line) + L"\r\n";
    const bool post = method == "POST";
    void* body = post ? const_cast<char*>(request.body.data()) : WINHTTP_NO_REQUEST_DATA;
    const DWORD body_size = post ? static_cast<DWORD>(request.body.size()) : 0;
    if (!WinHttpSendRequest(handle.get(),
                            headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            static_cast<DWORD>(headers.size()), body, body_size, body_size, 0) ||
        !WinHttpReceiveResponse(handle.get(), nullptr)) {
        return fail(response, HttpError::kOther, "WinHttpSendRequest");
    }
    // WinHTTP has no pin of its own: the key is compared once the answer has
    // come, from a server whose certificate the store accepted for the name.
    if (secure && !request.server_key_pin.empty()) {
        const std::string presented = server_key_pin(handle.get());
        if (presented != request.server_key_pin) {
            SetLastError(ERROR_WINHTTP_SECURE_INVALID_CERT);
            fail(response, HttpError::kTls, "server key pin");
            response->detail = "the server's key does not match ServerKeyPin";
            return false;
        }
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return fail(response, HttpError::kOther, "WinHttpQueryHeaders");
    }
    hop->status = static_cast<int>(status);
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        wchar_t location[2048];
        DWORD bytes = sizeof location;
        if (WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                                location, &bytes, WINHTTP_NO_HEADER_INDEX)) {
            hop->location = narrow(location);
            return true;
        }
    }
    response->body.clear();
    for (;;) {
        if (static_cast<int>(deadline - GetTickCount()) <= 0) {
            SetLastError(ERROR_WINHTTP_TIMEOUT);
            return fail(response, HttpError::kTimeout, "WinHttpReadData");
        }
        char chunk[16384];
        DWORD got = 0;
        if (!WinHttpReadData(handle.get(), chunk, sizeof chunk, &got)) {
            return fail(response, HttpError::kOther, "WinHttpReadData");
        }
        if (got == 0) return true;
        if (response->body.size() + got > request.limits.max_body) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return fail(response, HttpError::kBodyTooLarge, "body limit");
        }
        response->body.append(chunk, got);
    }
}

}  // namespace

bool http_request(const HttpRequest& request, HttpResponse* response) {
    *response = HttpResponse{};
    if (!http_detail::has_http_scheme(request.url)) {
        SetLastError(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
        return fail(response, HttpError::kBadUrl, "scheme");
    }
    Internet session(WinHttpOpen(L"QuarnHttpClient/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return fail(response, HttpError::kOther, "WinHttpOpen");
    const DWORD deadline = GetTickCount() + request.limits.total_timeout_ms;
    std::string url = request.url;
    std::string method = request.method;
    for (int redirects = 0;; ++redirects) {
        Hop hop;
        if (!one_hop(session.get(), method, url, request, deadline, &hop, response)) return false;
        response->status = hop.status;
        if (hop.location.empty()) break;
        if (redirects == kHttpMaxRedirects) {
            SetLastError(ERROR_WINHTTP_REDIRECT_FAILED);
            return fail(response, HttpError::kTooManyRedirects, "redirect");
        }
        const std::string next = http_detail::resolve_location(url, hop.location);
        if (next.empty()) {
            SetLastError(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
            return fail(response, HttpError::kBadUrl, "redirect");
        }
        // Once on https, every hop stays on https.
        if (http_detail::has_https_scheme(url) && !http_detail::has_https_scheme(next)) {
            SetLastError(ERROR_WINHTTP_REDIRECT_FAILED);
            fail(response, HttpError::kTls, "redirect");
            response->detail = "redirect from https to http refused";
            return false;
        }
        url = next;
        // As browsers do: 301-303 turn a POST into a GET without a body.
        if (hop.status != 307 && hop.status != 308) method = "GET";
    }
    response->error = HttpError::kNone;
    return true;
}

}  // namespace os
