// QuarnHttpClient.dll called through its exports, as the agent calls it,
// against the loopback test server: WinHTTP under Wine, libcurl natively.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "interface/sibling_abi.h"
#include "os/http.h"
#include "os/memory.h"
#include "os/module.h"
#include "siblings/QuarnHttpClient/request_text.h"
#include "tests/fakes/trace_capture.h"
#include "tests/siblings/http_client/server/test_server.h"

namespace {

using namespace quarn::test;

std::string module_path() {
    char path[1024] = "";
    os::module_executable_path(path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("/\\") + 1) + sibling::kHttpClientDll;
}

class HttpClient : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new TestServer;
        module_ = os::module_load(module_path().c_str());
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->ready());
        ASSERT_NE(nullptr, module_) << module_path();
        get_ = reinterpret_cast<sibling::HttpGetFunction>(os::module_symbol(module_, "HttpGet"));
        post_ = reinterpret_cast<sibling::HttpPostFunction>(os::module_symbol(module_, "HttpPost"));
        download_ = reinterpret_cast<sibling::HttpDownloadFileFunction>(
            os::module_symbol(module_, "HttpDownloadFile"));
        ASSERT_TRUE(get_ != nullptr && post_ != nullptr && download_ != nullptr);
    }

    // The result and the whole block handed back ("(none)" for no block).
    template <typename Function>
    static std::pair<int, std::string> call(Function function, const char* argument) {
        char* block = nullptr;
        const int code = function(argument, &block);
        if (block == nullptr) return {code, "(none)"};
        // Every byte plus the terminator (the block may be larger).
        std::string bytes(block, os::global_size(block));
        os::global_free(block);
        return {code, bytes};
    }

    static std::string download_request(const std::string& url, const std::string& path) {
        return "<TARN><DownloadUrl>" + url + "</DownloadUrl><LocalSavePath>" + path +
               "</LocalSavePath></TARN>";
    }
    static std::string bounded_request(const std::string& url, const std::string& path,
                                       const char* max_size) {
        return "<TARN><DownloadUrl>" + url + "</DownloadUrl><LocalSavePath>" + path +
               "</LocalSavePath><MaxSize>" + max_size + "</MaxSize></TARN>";
    }

    static TestServer* server_;
    static os::Handle module_;
    sibling::HttpGetFunction get_ = nullptr;
    sibling::HttpPostFunction post_ = nullptr;
    sibling::HttpDownloadFileFunction download_ = nullptr;
};

TestServer* HttpClient::server_ = nullptr;
os::Handle HttpClient::module_ = nullptr;

TEST_F(HttpClient, GetSucceedsOnlyWithTwoHundredsAndHandsBackTheBytes) {
    struct Row {
        const char* path;  // on the test server; a full URL when it has a scheme
        int code;
        std::string body;  // the leading bytes of the block
    };
    const Row rows[] = {
        {"/text", 1, std::string("hello \xc4\xe3\xba\xc3\0", 11)},
        {"/nul", 1, std::string("ab\0cd\0", 6)},  // the whole body, then the terminator
        {"/redirect/5", 1, "landed"},
        {"/redirect/6", 0, "(none)"},
        {"/status/404", 0, "(none)"},
        {"/status/500", 0, "(none)"},
        {"/status/204", 1, std::string("\0", 1)},
        {"http://127.0.0.1:1/closed", 0, "(none)"},
        {"ftp://127.0.0.1/file", 0, "(none)"},
        {"", 0, "(none)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const std::string url = std::strstr(row.path, ":") != nullptr || row.path[0] == '\0'
                                    ? row.path
                                    : server_->url(row.path);
        const auto [code, bytes] = call(get_, url.c_str());
        EXPECT_EQ(row.code, code);
        EXPECT_EQ(row.body, bytes.substr(0, row.body.size()));
    }
    EXPECT_EQ(0, get_(nullptr, nullptr));
    char* untouched = nullptr;
    EXPECT_EQ(0, get_(nullptr, &untouched));
    EXPECT_EQ(nullptr, untouched);
}

TEST_F(HttpClient, PostSendsTheArgumentsAsAnEncodedForm) {
    // A certificate's Base64 holds "+", "/" and "="; names and values may hold
    // GBK text and blanks.
    const std::string request =
        "<TARN><PostUrl>" + server_->url("/form") +
        "</PostUrl><Argument><Name>certbase64</Name><Value>MII+a/b==</Value>"
        "</Argument><Argument><Name>\xc3\xfb a</Name><Value>x &amp; y"
        "</Value></Argument><Argument><Name>empty</Name></Argument></TARN>";
    const auto [code, echo] = call(post_, request.c_str());
    EXPECT_EQ(1, code);
    const std::string expected =
        "application/x-www-form-urlencoded\ncertbase64=MII+a/b==\n"
        "empty=\n\xc3\xfb a=x & y\n";
    EXPECT_EQ(expected + '\0', echo.substr(0, expected.size() + 1));

    // The serial-number logon's document: an empty Argument, an empty form.
    const std::string empty_form =
        "<TARN><PostUrl>" + server_->url("/form") + "</PostUrl><Argument></Argument></TARN>";
    const auto [empty_code, empty_echo] = call(post_, empty_form.c_str());
    EXPECT_EQ(1, empty_code);
    EXPECT_EQ(std::string("application/x-www-form-urlencoded\n\0", 35), empty_echo.substr(0, 35));

    const std::string url = "<TARN><PostUrl>" + server_->url("/form") + "</PostUrl>";
    for (const std::string& bad : {std::string("<TARN><Argument><Name>a</Name></Argument></TARN>"),
                                   std::string("<TARN><PostUrl>"), std::string("not xml at all"),
                                   url + "<Argument><Value>v</Value></Argument></TARN>",
                                   url + "<Argument>v</Argument></TARN>"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(std::make_pair(0, std::string("(none)")), call(post_, bad.c_str()));
    }
    EXPECT_EQ(0, post_(nullptr, nullptr));
}

TEST_F(HttpClient, FailuresAreTracedWithoutTheCredentials) {
    const char* const rows[][2] = {
        {"http://h/mod/client_check/ajax.php?tradecode=net_auth&type=User&user_name=emhh"
         "&password=cGFz&deviceid=12",
         "http://h/mod/client_check/ajax.php?tradecode=net_auth&type=User&user_name=***"
         "&password=***&deviceid=12"},
        {"https://zhang:secret@h:8443/a?serial#x", "https://h:8443/a?***"},
        {"http://h/a?&email=x@y&&k", "http://h/a?email=***&***"},
        {"http://h/a/b", "http://h/a/b"},
    };
    for (const auto& row : rows) EXPECT_EQ(row[1], http_client::masked_url(row[0]));

    // Through the module: the failed request and the refused document.
    quarn::test::TraceCapture traces;
    traces.clear();
    char* block = nullptr;
    EXPECT_EQ(0, get_("http://127.0.0.1:1/a?user_name=zhang&password=c2VjcmV0", &block));
    EXPECT_EQ(0, post_("<TARN><PostUrl>http://127.0.0.1:1/a?password=c2VjcmV0</PostUrl>"
                       "<Argument>c2VjcmV0</Argument></TARN>",
                       &block));
    ASSERT_TRUE(traces.wait_for("HttpPost", "", 5000));
    int seen = 0;
    for (const auto& record : traces.records()) {
        if (record.function != "HttpGet" && record.function != "HttpPost") continue;
        ++seen;
        EXPECT_EQ(std::string::npos, record.message.find("c2VjcmV0")) << record.message;
    }
    EXPECT_EQ(2, seen);
}

TEST_F(HttpClient, DownloadReplacesTheFileWholeOrLeavesItAlone) {
    namespace fs = std::filesystem;
    const std::string folder = server_->folder() + "saved";
    fs::create_directories(folder);
    const std::string target = folder + "/module.dll";
    ASSERT_TRUE(write_file(server_->folder() + "served.bin", std::string("new\0bytes", 9)));
    ASSERT_TRUE(write_file(target, "old contents"));

    const std::string failing[] = {
        download_request(server_->url("/status/404"), target),
        download_request(server_->url("/status/500"), target),
        download_request(server_->url("/files/served.bin"), folder + "/missing/module.dll"),
        download_request(server_->url("/files/served.bin"), ""),
        "<TARN><DownloadUrl>x</DownloadUrl></TARN>",
        // The caller's bound, one byte short of the file; a bound that is
        // no number.
        bounded_request(server_->url("/files/served.bin"), target, "8"),
        bounded_request(server_->url("/files/served.bin"), target, "9x"),
        bounded_request(server_->url("/files/served.bin"), target, "0"),
    };
    for (const std::string& request : failing) {
        SCOPED_TRACE(request);
        EXPECT_EQ(0, download_(request.c_str(), 0));
        EXPECT_EQ("old contents", file_text(target));
    }
    EXPECT_EQ(0, download_(nullptr, 0));

    EXPECT_EQ(1, download_(download_request(server_->url("/files/served.bin"), target).c_str(), 0));
    EXPECT_EQ(std::string("new\0bytes", 9), file_text(target));
    write_file(target, "old contents");
    EXPECT_EQ(
        1, download_(bounded_request(server_->url("/files/served.bin"), target, "9").c_str(), 0));
    EXPECT_EQ(std::string("new\0bytes", 9), file_text(target));
    // No temporary file is left behind, after success or failure.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(1, files);
}

TEST_F(HttpClient, PlatformClientReportsWhichLimitEndedTheRequest) {
    struct Row {
        const char* path;
        std::uint32_t total_ms;
        std::size_t max_body;
        os::HttpError error;
    };
    const Row rows[] = {
        {"/slow", 1000, os::kHttpMaxBody, os::HttpError::kTimeout},
        {"/text", os::kHttpTotalTimeoutMs, 4, os::HttpError::kBodyTooLarge},
        {"/redirect/6", os::kHttpTotalTimeoutMs, os::kHttpMaxBody,
         os::HttpError::kTooManyRedirects},
        {"/status/404", os::kHttpTotalTimeoutMs, os::kHttpMaxBody, os::HttpError::kNone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        os::HttpRequest request;
        request.url = server_->url(row.path);
        request.limits.total_timeout_ms = row.total_ms;
        request.limits.max_body = row.max_body;
        os::HttpResponse response;
        EXPECT_EQ(row.error == os::HttpError::kNone, os::http_request(request, &response));
        EXPECT_EQ(row.error, response.error) << response.detail;
    }
}

}  // namespace
