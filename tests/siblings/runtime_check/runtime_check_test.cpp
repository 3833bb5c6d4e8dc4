// The runtime-check module as the assistant loads it: the configuration
// double holds CutNetworkUrl, the real HTTP client asks the loopback test
// server, and the certificate module's double answers the key probes.
#include <gtest/gtest.h>

#include <string>

#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/module.h"
#include "tests/fakes/fake_module.h"
#include "tests/siblings/http_client/server/test_server.h"

namespace {

using namespace quarn::test;

class RuntimeCheck : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        config_ = new FakeModule(fake_path("QuarnAssConfigMgr.dll"));
        cert_ = new FakeModule(fake_path("QuarnCheckCert.dll"));
        server_ = new TestServer;
        // Loaded for good, as in the assistant: the module finds both by name.
        os::module_load((program_dir() + "QuarnHttpClient.dll").c_str());
        os::Handle module = os::module_load((program_dir() + "QuarnAssRuntimeCheck.dll").c_str());
        cut_off_ = reinterpret_cast<sibling::CutOffNetworkFunction>(
            os::module_symbol(module, "CutOffNetwork"));
        usb_key_ = reinterpret_cast<sibling::HaveInsertUsbKeyFunction>(
            os::module_symbol(module, "HaveInsertUsbKey"));
    }
    static void TearDownTestSuite() {
        delete server_;
        delete cert_;
        delete config_;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->ready());
        ASSERT_TRUE(cut_off_ != nullptr && usb_key_ != nullptr);
        config_->reset();
        cert_->reset();
    }

    static FakeModule* config_;
    static FakeModule* cert_;
    static TestServer* server_;
    static sibling::CutOffNetworkFunction cut_off_;
    static sibling::HaveInsertUsbKeyFunction usb_key_;
};
FakeModule* RuntimeCheck::config_ = nullptr;
FakeModule* RuntimeCheck::cert_ = nullptr;
TestServer* RuntimeCheck::server_ = nullptr;
sibling::CutOffNetworkFunction RuntimeCheck::cut_off_ = nullptr;
sibling::HaveInsertUsbKeyFunction RuntimeCheck::usb_key_ = nullptr;

struct CutCase {
    const char* name;
    const char* body;  // the page's content; null: no such page (404)
    bool url_stored;
    int result;
};

const CutCase kCuts[] = {
    {"One", "1", true, 1},           {"OkWithBlanks", " OK\r\n", true, 1},
    {"Success", "Success", true, 1}, {"Zero", "0", true, 0},
    {"Empty", "", true, 0},          {"ErrorPage", "<html><body>1</body></html>", true, 0},
    {"NotFound", nullptr, true, 0},  {"NoUrl", "1", false, 0},
};

class CutOff : public RuntimeCheck, public testing::WithParamInterface<CutCase> {};

TEST_P(CutOff, AcceptedOnlyWhenTheServerSaysSo) {
    const CutCase& c = GetParam();
    if (c.body != nullptr) {
        ASSERT_TRUE(write_file(server_->folder() + c.name, c.body));
    }
    if (c.url_stored) {
        const std::string url =
            server_->url(std::string("/files/") + c.name + "?tradecode=cutoff_net&device_id=7");
        Call_TarnWriteConfig("CutNetworkUrl", url.c_str());
    }
    EXPECT_EQ(c.result, cut_off_());
}

INSTANTIATE_TEST_SUITE_P(Server, CutOff, testing::ValuesIn(kCuts),
                         [](const auto& row) { return std::string(row.param.name); });

struct KeyCase {
    const char* name;
    int certs_result;
    const char* certs;
    int serial_result;
    const char* serial;
    int result;
};

const KeyCase kKeys[] = {
    {"Certificate", 1, "<TARN><CertInfo><IssueTo>a</IssueTo></CertInfo></TARN>", 0, nullptr, 1},
    {"SerialOnly", 1, "<TARN/>", 1, "<TARN><SerialNum>0012AB</SerialNum></TARN>", 1},
    {"NoKey", 0, nullptr, 0, nullptr, 0},
    {"EmptySerial", 1, "<TARN/>", 1, "<TARN><SerialNum></SerialNum></TARN>", 0},
    {"Garbled", 1, "<<<", 1, "no document", 0},
};

class UsbKey : public RuntimeCheck, public testing::WithParamInterface<KeyCase> {};

TEST_P(UsbKey, PresentWhenACertificateOrASerialNumberIsSeen) {
    const KeyCase& c = GetParam();
    cert_->answer("GetAllUsbKeyCert", c.certs_result, c.certs);
    cert_->answer("GetUsbKeySerialNum", c.serial_result, c.serial);
    EXPECT_EQ(c.result, usb_key_());
    for (const RecordedCall& call : cert_->calls_of("GetUsbKeySerialNum")) {
        EXPECT_EQ("<TARN><UkeyType>ePass1000ND</UkeyType></TARN>", call.arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(CertificateModule, UsbKey, testing::ValuesIn(kKeys),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
