// HTTP on POSIX: libcurl. The environment's proxy variables apply (libcurl
// reads them itself) except for loopback, which is added to the no-proxy list.
#include "os/http.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

#include "os/http_internal.h"

namespace os {
namespace {

struct EasyFree {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Sink {
    std::string* body;
    std::size_t limit;
    bool overflow = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body->size() + bytes > sink->limit) {
        sink->overflow = true;
        return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    sink->body->append(data, bytes);
    return bytes;
}

// The environment's no-proxy list with loopback always in it.
std::string no_proxy_list() {
    std::string list = "localhost,127.0.0.0/8,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return list + "," + value;
    }
    return list;
}

HttpError error_of(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return HttpError::kBadUrl;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return HttpError::kConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return HttpError::kTimeout;
        case CURLE_TOO_MANY_REDIRECTS:
            return HttpError::kTooManyRedirects;
        case CURLE_FILESIZE_EXCEEDED:
            return HttpError::kBodyTooLarge;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return HttpError::kTls;
        default:
            return HttpError::kOther;
    }
}

}  // namespace

bool http_request(const HttpRequest& request, HttpResponse* response) {
    static std::once_flag global;
    std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    *response = HttpResponse{};
    if (!http_detail::has_http_scheme(request.url)) {
        response->error = HttpError::kBadUrl;
        response->detail = "not an http(s) url";
        return false;
    }
    std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
    if (!easy) {
        response->detail = "curl_easy_init failed";
        return false;
    }
    CURL* e = easy.get();
    char message[CURL_ERROR_SIZE] = "";
    Sink sink{&response->body, request.limits.max_body};
    const std::string no_proxy = no_proxy_list();
    std::unique_ptr<curl_slist, ListFree> headers;
    for (const std::string& line : request.headers) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (grown == nullptr) return false;
        headers.release();
        headers.reset(grown);
    }

    // Once on https, every hop stays on https: a redirect down to http
    // would hand the query and the form to whoever is on the path.
    const bool secure = http_detail::has_https_scheme(request.url);
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    // The system's trust store is OpenSSL's: the bundle libcurl was built
    // with, or the file and folder the OpenSSL variables name.
    for (const auto& [variable, option] :
         {std::pair{"SSL_CERT_FILE", CURLOPT_CAINFO}, std::pair{"SSL_CERT_DIR", CURLOPT_CAPATH}}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') curl_easy_setopt(e, option, value);
    }
    const std::string pin =
        request.server_key_pin.empty() ? std::string() : "sha256//" + request.server_key_pin;
    if (!pin.empty()) curl_easy_setopt(e, CURLOPT_PINNEDPUBLICKEY, pin.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(kHttpMaxRedirects));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.limits.connect_timeout_ms));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.total_timeout_ms));
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.limits.max_body));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);  // time-outs without SIGALRM: we run on many threads
    curl_easy_setopt(e, CURLOPT_NOPROXY, no_proxy.c_str());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    if (headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST") {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    }

    const CURLcode code = curl_easy_perform(e);
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    response->status = static_cast<int>(status);
    if (code != CURLE_OK) {
        response->error = sink.overflow ? HttpError::kBodyTooLarge : error_of(code);
        response->detail = message[0] != '\0' ? message : curl_easy_strerror(code);
        // The first hop's scheme is allowed, so only a redirect ends here.
        if (secure && code == CURLE_UNSUPPORTED_PROTOCOL) {
            response->error = HttpError::kTls;
            response->detail = "redirect from https to http refused";
        }
        response->body.clear();
        return false;
    }
    response->error = HttpError::kNone;
    return true;
}

}  // namespace os
