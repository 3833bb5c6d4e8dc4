// HTTPS against the loopback server's listeners, whose certificates chain to
// a root made afresh for the run: trusted through the current user's root
// store under Wine (WinHTTP) and through SSL_CERT_FILE natively (libcurl).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/http.h"
#include "os/system.h"
#include "tests/siblings/http_client/server/test_server.h"

namespace {

using namespace quarn::test;

class Tls : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new TestServer(true);
        const std::string der = file_text(server_->folder() + "root.der");
        root_.assign(der.begin(), der.end());
        pin_ = file_text(server_->folder() + "pin");
        // Windows trusts the root in the user's store; POSIX through OpenSSL's variable.
        in_store_ = os::http_trust_root_add(root_);
        if (!in_store_) os::env_set("SSL_CERT_FILE", (server_->folder() + "root.pem").c_str());
    }
    static void TearDownTestSuite() {
        if (in_store_) os::http_trust_root_remove(root_);
        os::env_set("SSL_CERT_FILE", nullptr);
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->ready());
        ASSERT_FALSE(pin_.empty());
    }

    static TestServer* server_;
    static std::vector<std::uint8_t> root_;
    static std::string pin_;
    static bool in_store_;
};

TestServer* Tls::server_ = nullptr;
std::vector<std::uint8_t> Tls::root_;
std::string Tls::pin_;
bool Tls::in_store_ = false;

// The table the issue asks for: each case on this build's stack (libcurl
// natively, WinHTTP under Wine) is accepted or refused as a TLS failure.
TEST_F(Tls, OnlyAVerifiedServerIsAccepted) {
    struct Row {
        const char* name;
        const char* listener;
        const char* path;
        bool pinned;  // the right pin (or, with bad_pin, a wrong one)
        bool bad_pin;
        bool accepted;
    };
    const Row rows[] = {
        {"good chain", "good", "/text", false, false, true},
        {"good chain, pinned", "good", "/text", true, false, true},
        {"wrong host name", "wrong_host", "/text", false, false, false},
        {"expired", "expired", "/text", false, false, false},
        {"self-signed without pin", "self_signed", "/text", false, false, false},
        {"pin mismatch", "good", "/text", true, true, false},
        {"redirect https to http", "good", "/to-plain", false, false, false},
    };
    std::string table;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        os::HttpRequest request;
        request.url = server_->secure_url(row.listener, row.path);
        if (row.pinned) {
            // Another key's pin: the first character changed.
            request.server_key_pin = pin_;
            if (row.bad_pin) request.server_key_pin[0] = pin_[0] == 'A' ? 'B' : 'A';
        }
        os::HttpResponse response;
        const bool answered = os::http_request(request, &response);
        EXPECT_EQ(row.accepted, answered && response.status == 200) << response.detail;
        if (!row.accepted) {
            EXPECT_EQ(os::HttpError::kTls, response.error) << response.detail;
        }
        table += std::string(row.name) + ": " + (answered ? "accepted" : "refused (") +
                 (answered ? "" : response.detail + ")") + "\n";
    }
    std::printf("%s", table.c_str());
}

}  // namespace
