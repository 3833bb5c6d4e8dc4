#include "siblings/QuarnHttpClient/http_client.h"

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/error.h"
#include "os/http.h"
#include "os/memory.h"
#include "os/module.h"
#include "siblings/QuarnHttpClient/request_text.h"

namespace http_client {
namespace {

constexpr char kSource[] = "QuarnHttpClient.cpp";
constexpr char kPinKey[] = "ServerKeyPin";

// The configured pin of the server's key, read through the configuration
// module when the host has it loaded; empty when none (the trust store alone).
std::string configured_pin() {
    const os::Handle config = os::module_find(sibling::kConfigMgrDll);
    if (config == nullptr) return {};
    const auto read = reinterpret_cast<sibling::TarnReadConfigFunction>(
        os::module_symbol(config, sibling::kTarnReadConfigName));
    char* value = nullptr;
    if (read == nullptr || read(kPinKey, &value) == 0 || value == nullptr) return {};
    std::string pin = value;
    os::global_free(value);
    return pin;
}

// One exchange; true for a 2xx answer, whose body lands in *body. Traces
// name the URL without its query values: they carry user names and passwords.
bool exchange(const char* function, os::HttpRequest& request, std::string* body) {
    request.server_key_pin = configured_pin();
    os::HttpResponse response;
    const std::string shown = masked_url(request.url);
    if (!os::http_request(request, &response)) {
        LogTrace(function, kTraceError, kSource, __LINE__, "请求 %s 失败: %s, %s", shown.c_str(),
                 os::http_error_name(response.error), response.detail.c_str());
        // A server that fails verification is worth the user's notice: it
        // may be someone on the path posing as the server.
        if (response.error == os::HttpError::kTls) {
            Call_TarnLogToFile("服务器身份验证失败, 请求被拒绝: %s (%s)", shown.c_str(),
                               response.detail.c_str());
        }
        return false;
    }
    if (response.status < 200 || response.status > 299) {
        LogTrace(function, kTraceError, kSource, __LINE__, "请求 %s 失败: 状态 %d", shown.c_str(),
                 response.status);
        return false;
    }
    *body = std::move(response.body);
    return true;
}

// A refused document is traced by its size alone: it may hold credentials.
void trace_bad_document(const char* function, const char* text, int line) {
    LogTrace(function, kTraceError, kSource, line, "请求文档错误: %s",
             text != nullptr ? ("(" + std::to_string(std::string(text).size()) + " 字节)").c_str()
                             : "(null)");
}

}  // namespace

bool get(const char* url, std::string* body) {
    if (url == nullptr || *url == '\0') {
        LogTrace("HttpGet", kTraceError, kSource, __LINE__, "没有指定URL");
        return false;
    }
    os::HttpRequest request;
    request.url = url;
    return exchange("HttpGet", request, body);
}

bool post(const char* request_text, std::string* body) {
    os::HttpRequest request;
    FormFields fields;
    if (!parse_post_request(request_text, &request.url, &fields)) {
        trace_bad_document("HttpPost", request_text, __LINE__);
        return false;
    }
    request.method = "POST";
    request.headers.push_back("Content-Type: application/x-www-form-urlencoded");
    request.body = form_encode(fields);
    return exchange("HttpPost", request, body);
}

bool download(const char* request_text) {
    os::HttpRequest request;
    std::string save_path;
    if (!parse_download_request(request_text, &request.url, &save_path, &request.limits.max_body)) {
        trace_bad_document("HttpDownloadFile", request_text, __LINE__);
        return false;
    }
    std::string body;
    if (!exchange("HttpDownloadFile", request, &body)) return false;
    if (!os::file_store_atomically(save_path.c_str(), body.data(), body.size())) {
        LogTrace("HttpDownloadFile", kTraceError, kSource, __LINE__, "保存文件 %s 失败, Err=%u",
                 save_path.c_str(), static_cast<unsigned>(os::last_error()));
        return false;
    }
    LogTrace("HttpDownloadFile", kTraceInfo, kSource, __LINE__, "下载 %s 到 %s, %u 字节",
             masked_url(request.url).c_str(), save_path.c_str(),
             static_cast<unsigned>(body.size()));
    return true;
}

}  // namespace http_client
