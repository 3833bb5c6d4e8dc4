// The export layer of QuarnHttpClient.dll. Bodies go back as one global
// block holding every byte received plus a terminator: a body with a NUL
// inside is handed back whole, and a caller reading it as text sees the text
// before the first NUL (traced, so a cut answer can be told from a short one).
#include <cstring>
#include <exception>
#include <string>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "siblings/QuarnHttpClient/http_client.h"

namespace {

constexpr char kSource[] = "QuarnHttpClient.cpp";

bool hand_back(const char* function, const std::string& body, char** response) {
    auto* block = static_cast<char*>(os::global_alloc(body.size() + 1));
    if (block == nullptr) {
        LogTrace(function, kTraceError, kSource, __LINE__, "内存不足");
        return false;
    }
    if (!body.empty()) std::memcpy(block, body.data(), body.size());
    const std::size_t nul = body.find('\0');
    if (nul != std::string::npos) {
        LogTrace(function, kTraceInfo, kSource, __LINE__, "应答含有NUL字节: 文本只有前 %u 字节",
                 static_cast<unsigned>(nul));
    }
    *response = block;
    return true;
}

// Runs one operation; nothing thrown inside ever reaches the host.
template <typename Operation>
int guarded(const char* function, Operation operation) {
    try {
        return operation() ? 1 : 0;
    } catch (const std::exception& error) {
        LogTrace(function, kTraceError, kSource, __LINE__, "发生异常: %s", error.what());
    } catch (...) {
        LogTrace(function, kTraceError, kSource, __LINE__, "发生异常");
    }
    return 0;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL HttpGet(const char* url, char** response) {
    if (response == nullptr) return 0;
    *response = nullptr;
    return guarded("HttpGet", [&] {
        std::string body;
        return http_client::get(url, &body) && hand_back("HttpGet", body, response);
    });
}

QUARN_EXPORT int QUARN_CDECL HttpPost(const char* request, char** response) {
    if (response == nullptr) return 0;
    *response = nullptr;
    return guarded("HttpPost", [&] {
        std::string body;
        return http_client::post(request, &body) && hand_back("HttpPost", body, response);
    });
}

QUARN_EXPORT int QUARN_STDCALL HttpDownloadFile(const char* request, int /*reserved*/) {
    return guarded("HttpDownloadFile", [&] { return http_client::download(request); });
}

static_assert(sizeof(sibling::HttpGetFunction{&HttpGet}) > 0);
static_assert(sizeof(sibling::HttpPostFunction{&HttpPost}) > 0);
static_assert(sizeof(sibling::HttpDownloadFileFunction{&HttpDownloadFile}) > 0);
