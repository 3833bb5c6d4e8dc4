// Double of QuarnHttpClient.dll: no network; answers are scripted.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

QUARN_EXPORT int QUARN_STDCALL HttpDownloadFile(const char* request, int reserved) {
    fake::record("HttpDownloadFile", "%s|%d", text(request), reserved);
    return fake::result_or("HttpDownloadFile", 0);
}
QUARN_EXPORT int QUARN_CDECL HttpGet(const char* url, char** response) {
    fake::record("HttpGet", "%s", text(url));
    return fake::answer_with_text("HttpGet", response, 0, nullptr);
}
QUARN_EXPORT int QUARN_CDECL HttpPost(const char* request, char** response) {
    fake::record("HttpPost", "%s", text(request));
    return fake::answer_with_text("HttpPost", response, 0, nullptr);
}

static_assert(sizeof(sibling::HttpDownloadFileFunction{&HttpDownloadFile}) > 0);
static_assert(sizeof(sibling::HttpGetFunction{&HttpGet}) > 0);
static_assert(sizeof(sibling::HttpPostFunction{&HttpPost}) > 0);
