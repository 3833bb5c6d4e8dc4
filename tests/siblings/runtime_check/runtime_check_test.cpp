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

// The doubles and the modules, loaded once for the program, as in the
// assistant: the runtime-check module finds the others by name.
struct Modules : testing::Environment {
    void SetUp() override {
        config = new FakeModule(fake_path("QuarnAssConfigMgr.dll"));
        cert = new FakeModule(fake_path("QuarnCheckCert.dll"));
        os::module_load((program_dir() + "QuarnHttpClient.dll").c_str());
        os::Handle module = os::module_load((program_dir() + "QuarnAssRuntimeCheck.dll").c_str());
        cut_off = reinterpret_cast<sibling::CutOffNetworkFunction>(
            os::module_symbol(module, "CutOffNetwork"));
        usb_key = reinterpret_cast<sibling::HaveInsertUsbKeyFunction>(
            os::module_symbol(module, "HaveInsertUsbKey"));
    }
    void TearDown() override {
        delete cert;
        delete config;
    }
    static FakeModule* config;
    static FakeModule* cert;
    static sibling::CutOffNetworkFunction cut_off;
    static sibling::HaveInsertUsbKeyFunction usb_key;
};
FakeModule* Modules::config = nullptr;
FakeModule* Modules::cert = nullptr;
sibling::CutOffNetworkFunction Modules::cut_off = nullptr;
sibling::HaveInsertUsbKeyFunction Modules::usb_key = nullptr;
testing::Environment* const kModules = testing::AddGlobalTestEnvironment(new Modules);

class RuntimeCheck : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Modules::cut_off != nullptr && Modules::usb_key != nullptr);
        Modules::config->reset();
        Modules::cert->reset();
    }
};

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

class CutOff : public RuntimeCheck, public testing::WithParamInterface<CutCase> {
  protected:
    static void SetUpTestSuite() { server_ = new TestServer; }
    static void TearDownTestSuite() { delete server_; }
    void SetUp() override {
        RuntimeCheck::SetUp();
        ASSERT_TRUE(server_->ready());
    }
    static TestServer* server_;
};
TestServer* CutOff::server_ = nullptr;

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
    EXPECT_EQ(c.result, Modules::cut_off());
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
    Modules::cert->answer("GetAllUsbKeyCert", c.certs_result, c.certs);
    Modules::cert->answer("GetUsbKeySerialNum", c.serial_result, c.serial);
    EXPECT_EQ(c.result, Modules::usb_key());
    for (const RecordedCall& call : Modules::cert->calls_of("GetUsbKeySerialNum")) {
        EXPECT_EQ("<TARN><UkeyType>ePass1000ND</UkeyType></TARN>", call.arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(CertificateModule, UsbKey, testing::ValuesIn(kKeys),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
