// UpdateDeviceRegisterInfo through the real module-call component and the
// device-information double, a binary of the build playing the 802.1x client
// (version 1.0.0.1): the argument text, the request element by element, and
// the keys written only from a complete answer.
#include <filesystem>
#include <sstream>

#include "autocheck/identity/device_registration.h"
#include "interface/assistant_dir.h"
#include "os/system.h"
#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

constexpr char kYes[] = "<TARN><AgentID>0042</AgentID><IsForbid>yes</IsForbid></TARN>";
constexpr char kUrl[] = "http://10.1.2.3:8080/tarn/";
// Where the 802.1x client is looked for: ProgramFiles on Windows, on POSIX
// the stand-in folder for it.
const char* const kProgramFiles =
    fs::path::preferred_separator == '/' ? "QUARN_PROGRAM_FILES_DIR" : "ProgramFiles";

struct RegistrationCase {
    const char* name;
    const char* answer;
    const char* stored;  // DeviceId, IsForbid and IsForbid's text as answered; "": nothing
    const char* web_url = kUrl;
    const char* port = "8080";          // in GetDeviceInfo's argument
    const char* down_end = nullptr;     // ServerDownPath's end instead of the folder's separator
    const char* dox = "1.0.0.1";        // "": no 802.1x client
    int device_failure = 0;             // GetDeviceInfo's result when not 0
    const char* error = nullptr;        // the one level-1 trace
    const char* down_path = nullptr;    // ServerDownPath as written; kAbsent: none
    const char* device_text = nullptr;  // GetDeviceInfo's description instead of the double's
};

constexpr char kAbsent[] = "(absent)";
// Fits the key's 260 bytes, not with the module's name after it.
const std::string kLongFolder(kPathSize - 10, 'd');

const RegistrationCase kCases[] = {
    {"IsolatedInLowerCase", kYes, "0042 1 yes"},
    {"NotIsolated", "<TARN><IsForbid>No</IsForbid><AgentID>7</AgentID></TARN>", "7 0 No"},
    {"AgentIdOnly", "<TARN><AgentID>7</AgentID></TARN>", ""},
    {"DefaultPort", kYes, "0042 1 yes", "http://10.1.2.3/tarn", "80"},
    {"HttpsDefaultPort", kYes, "0042 1 yes", "https://10.1.2.3/tarn", "443"},
    {"DownPathEndsInSlash", kYes, "0042 1 yes", kUrl, "8080", "/"},
    {"DownPathEndsInLetter", kYes, "0042 1 yes", kUrl, "8080", ""},
    {"NoDot1xClient", kYes, "0042 1 yes", kUrl, "8080", nullptr, ""},
    {"DeviceInfoFails", kYes, "", kUrl, "8080", nullptr, "1.0.0.1", 5,
     "取设备信息失败"},  // its text is freed
    // Without a download folder the module is looked for in the assistant's.
    {"NoDownPath", kYes, "0042 1 yes", kUrl, "8080", nullptr, "1.0.0.1", 0,
     "取服务器的Download目录失败，检查可能会出问题", kAbsent},
    {"EmptyDownPath", kYes, "0042 1 yes", kUrl, "8080", nullptr, "1.0.0.1", 0,
     "取服务器的Download目录失败，检查可能会出问题", ""},
    // A module path that does not fit is never cut into another file's name.
    {"DownPathTooLong", kYes, "", kUrl, nullptr, nullptr, "1.0.0.1", 0, "取设备信息失败",
     kLongFolder.c_str()},
    {"NoWebUrl", kYes, "", nullptr, nullptr, nullptr, "1.0.0.1", 0, "没有找到检查页面"},
    {"DeviceInfoUnreadable", kYes, "", kUrl, "8080", nullptr, "1.0.0.1", 0, "解析设备信息报文失败",
     nullptr, "no document"},
};

class Registration : public ExchangeTest, public testing::WithParamInterface<RegistrationCase> {
  protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(common_.load(fake_path("QuarnCommon.dll")));
        char saved[512] = "";
        if (os::env_get(kProgramFiles, saved, sizeof saved) > 0) saved_ = saved;
        os::env_set(kProgramFiles, home_.appdata().c_str());
    }
    void TearDown() override {
        os::env_set(kProgramFiles, saved_.empty() ? nullptr : saved_.c_str());
        ExchangeTest::TearDown();
    }

    FakeModule common_;
    std::string saved_;
};

TEST_P(Registration, AsksWithTheDeviceDescriptionAndStoresACompleteAnswer) {
    const RegistrationCase& c = GetParam();
    const std::string dox = c.dox;
    const fs::path client_folder = fs::path(home_.appdata()) / "TARN";
    fs::create_directories(client_folder);
    if (!dox.empty())
        fs::copy_file(program_dir() + "QuarnActivex.dll", client_folder / "TarnDot1xClient.exe");
    const std::string folder = fake_path("");  // with its separator
    const std::string bare = folder.substr(0, folder.size() - 1);
    if (c.down_path == nullptr) {
        Call_TarnWriteConfig("ServerDownPath", (c.down_end ? bare + c.down_end : folder).c_str());
    } else if (c.down_path != kAbsent) {
        Call_TarnWriteConfig("ServerDownPath", c.down_path);
    }
    if (c.down_path == kAbsent || (c.down_path != nullptr && *c.down_path == '\0')) {
        ASSERT_TRUE(home_.add(fake_path("QuarnCommon.dll"), "QuarnCommon.dll"));
        ASSERT_TRUE(common_.load(home_.path("QuarnCommon.dll")));
    }
    if (c.web_url != nullptr) Call_TarnWriteConfig("WebUrl", c.web_url);
    if (c.device_failure != 0) common_.answer("GetDeviceInfo", c.device_failure, "没有网卡");
    if (c.device_text != nullptr) common_.answer("GetDeviceInfo", 0, c.device_text);
    queue(c.answer);
    begin();

    UpdateDeviceRegisterInfo();

    EXPECT_EQ(c.port == nullptr ? Texts{}
                                : Texts{"<QUARN><ServerIp>10.1.2.3</ServerIp><Port>" +
                                        std::string(c.port) + "</Port></QUARN>"},
              calls(common_, "GetDeviceInfo"));
    // DoxVersion, TradeCode, then every child of the double's description.
    const Texts request = {
        document({"<TARN>", "\t<DoxVersion>" + dox + "</DoxVersion>",
                  "\t<TradeCode>QueryDevInfo</TradeCode>", "\t<ComputerName>TEST-PC</ComputerName>",
                  "\t<Mac>00-16-3E-0A-0B-0C</Mac>", "\t<IP>10.1.2.77</IP>", "\t<OS>",
                  "\t\t<Name>Windows 7</Name>", "\t\t<SP>1</SP>", "\t</OS>", "</TARN>"})};
    EXPECT_EQ(std::string(c.stored).empty() && c.answer == kYes ? Texts{} : request, requests());
    std::istringstream stored(c.stored);
    std::string id, forbid, text;
    const bool written = static_cast<bool>(stored >> id >> forbid >> text);
    EXPECT_EQ((written ? Texts{"DeviceId|" + id, "IsForbid|" + forbid} : Texts{}), writes());
    EXPECT_EQ(written
                  ? Texts{kLogTime + ("设备注册信息: DeviceId " + id + " IsForbid " + text + "\n")}
                  : Texts{},
              log_lines());
    EXPECT_EQ(c.error != nullptr ? Texts{c.error} : Texts{},
              errors("UpdateDeviceRegisterInfo", "QuarnAssIdentityAuth.cpp"));
}

INSTANTIATE_TEST_SUITE_P(Answers, Registration, testing::ValuesIn(kCases),
                         case_name<RegistrationCase>);

}  // namespace
