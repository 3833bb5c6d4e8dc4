#include "siblings/QuarnHttpClient/http_client.h"

#include "cutil/trace.h"
#include "os/error.h"
#include "os/http.h"
#include "siblings/QuarnHttpClient/request_text.h"

namespace http_client {
namespace {

constexpr char kSource[] = "QuarnHttpClient.cpp";

// One exchange; true for a 2xx answer, whose body lands in *body.
bool exchange(const char* function, os::HttpRequest& request, std::string* body) {
    os::HttpResponse response;
    if (!os::http_request(request, &response)) {
        LogTrace(function, kTraceError, kSource, __LINE__, "请求 %s 失败: %s, %s",
                 request.url.c_str(), os::http_error_name(response.error), response.detail.c_str());
        return false;
    }
    if (response.status < 200 || response.status > 299) {
        LogTrace(function, kTraceError, kSource, __LINE__, "请求 %s 失败: 状态 %d",
                 request.url.c_str(), response.status);
        return false;
    }
    *body = std::move(response.body);
    return true;
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
        LogTrace("HttpPost", kTraceError, kSource, __LINE__, "请求文档错误: %s",
                 request_text != nullptr ? request_text : "(null)");
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
    if (!parse_download_request(request_text, &request.url, &save_path)) {
        LogTrace("HttpDownloadFile", kTraceError, kSource, __LINE__, "请求文档错误: %s",
                 request_text != nullptr ? request_text : "(null)");
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
             request.url.c_str(), save_path.c_str(), static_cast<unsigned>(body.size()));
    return true;
}

}  // namespace http_client
