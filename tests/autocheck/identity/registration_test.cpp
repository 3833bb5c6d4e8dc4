// UpdateDeviceRegisterInfo through the real module-call component and the
// device-information double, with an 802.1x client played by a binary of the
// build: the argument text, the request element by element, and the keys
// written only from a complete answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "autocheck/identity/device_registration.h"
#include "os/system.h"
#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

constexpr bool kPosix = fs::path::preferred_separator == '/';
constexpr char kUrl[] = "http://10.1.2.3:8080/tarn/";
const std::string kUrl64 = "http://" + std::string(64, 'h') + "/tarn/";
constexpr char kArgument[] = "<QUARN><ServerIp>10.1.2.3</ServerIp><Port>8080</Port></QUARN>";
constexpr char kNoDownload[] = "取服务器的Download目录失败，检查可能会出问题";

// How ServerDownPath names the doubles' folder.
enum Base { kWithSeparator, kWithSlash, kWithoutSeparator, kUnset };
// Where the 802.1x client is: in the program folder (on POSIX the stand-in
// named by QUARN_PROGRAM_FILES_DIR), nowhere, or in a folder ProgramFiles
// names explicitly while the stand-in names an empty one.
enum Client { kInstalled, kAbsent, kExplicit };

void unscripted(const FakeModule&) {}
void call_fails(const FakeModule& common) {
    common.answer("GetDeviceInfo", 5, "没有网卡");  // a failure with its text: ours to free
}
void not_a_document(const FakeModule& common) {
    common.answer("GetDeviceInfo", 0, "no device");
}
void no_text(const FakeModule& common) {
    common.answer("GetDeviceInfo", 0);
}

struct RegistrationCase {
    const char* name;
    const char* answer;  // the server's; null: the exchange fails
    Texts writes;
    const char* logged = nullptr;
    const char* web_url = kUrl;
    const char* argument = kArgument;  // GetDeviceInfo's; null: not called
    const char* dox = "1.0.0.1";       // DoxVersion sent; null: nothing sent
    Texts errors = {};

    void PrintTo(const RegistrationCase& c, std::ostream* out) { *out << c.name; }
    Base base = kWithSeparator;
    Client client = kInstalled;
    void (*device)(const FakeModule&) = unscripted;
};

constexpr char kYes[] = "<TARN><AgentID>0042</AgentID><IsForbid>yes</IsForbid></TARN>";
const Texts kRegistered = {"DeviceId|0042", "IsForbid|1"};
constexpr char kLogYes[] = "设备注册信息: DeviceId 0042 IsForbid yes";

const RegistrationCase kCases[] = {
    {"IsolatedInLowerCase", kYes, kRegistered, kLogYes},
    {"NotIsolated",
     "<TARN><AgentID>7</AgentID><IsForbid>No</IsForbid></TARN>",
     {"DeviceId|7", "IsForbid|0"},
     "设备注册信息: DeviceId 7 IsForbid No"},
    {"IsForbidOneIsNotYes",
     "<TARN><IsForbid>1</IsForbid><AgentID>7</AgentID></TARN>",
     {"DeviceId|7", "IsForbid|0"},
     "设备注册信息: DeviceId 7 IsForbid 1"},
    {"AgentIdOnly", "<TARN><AgentID>7</AgentID></TARN>", {}},
    {"ServerSilent", nullptr, {}},
    {"DefaultPort", kYes, kRegistered, kLogYes, "http://srv/tarn",
     "<QUARN><ServerIp>srv</ServerIp><Port>80</Port></QUARN>"},
    {"HttpsDefaultPort", kYes, kRegistered, kLogYes, "https://srv/tarn",
     "<QUARN><ServerIp>srv</ServerIp><Port>443</Port></QUARN>"},
    {"DownPathEndsInSlash", kYes, kRegistered, kLogYes, kUrl, kArgument, "1.0.0.1", {}, kWithSlash},
    {"DownPathEndsInLetter",
     kYes,
     kRegistered,
     kLogYes,
     kUrl,
     kArgument,
     "1.0.0.1",
     {},
     kWithoutSeparator},
    {"NoDot1xClient", kYes, kRegistered, kLogYes, kUrl, kArgument, "", {}, kWithSeparator, kAbsent},
    {"ExplicitProgramFilesWins",
     kYes,
     kRegistered,
     kLogYes,
     kUrl,
     kArgument,
     "1.0.0.1",
     {},
     kWithSeparator,
     kExplicit},
    // The assistant directory stands in, and holds no device-information module.
    {"DownPathUnset",
     kYes,
     {},
     nullptr,
     kUrl,
     nullptr,
     nullptr,
     {kNoDownload, "取设备信息失败"},
     kUnset},
    {"WebUrlMissing", kYes, {}, nullptr, nullptr, nullptr, nullptr, {"没有找到检查页面"}},
    {"HostOf64", kYes, {}, nullptr, kUrl64.c_str(), nullptr, nullptr, {"没有找到检查页面"}},
    {"DeviceInfoFails",
     kYes,
     {},
     nullptr,
     kUrl,
     kArgument,
     nullptr,
     {"取设备信息失败"},
     kWithSeparator,
     kInstalled,
     call_fails},
    {"DeviceInfoNotADocument",
     kYes,
     {},
     nullptr,
     kUrl,
     kArgument,
     nullptr,
     {"解析设备信息报文失败"},
     kWithSeparator,
     kInstalled,
     not_a_document},
    {"DeviceInfoWithoutText",
     kYes,
     {},
     nullptr,
     kUrl,
     kArgument,
     nullptr,
     {"解析设备信息报文失败"},
     kWithSeparator,
     kInstalled,
     no_text},
};

// Restores an environment variable when the test ends.
class SavedVariable {
  public:
    explicit SavedVariable(const char* name) : name_(name) {
        char value[1024] = "";
        had_ = os::env_get(name, value, sizeof value) > 0;
        value_ = value;
    }
    ~SavedVariable() { os::env_set(name_, had_ ? value_.c_str() : nullptr); }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

  private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

class Registration : public ExchangeTest, public testing::WithParamInterface<RegistrationCase> {
  protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(common_.load(fake_path("QuarnCommon.dll")));
    }

    // Installs the 802.1x client as the case says: a copy of a binary of
    // the build, which carries version 1.0.0.1.
    void install_client(Client client) const {
        const fs::path programs = fs::path(home_.appdata()) / "Programs";
        const fs::path elsewhere = fs::path(home_.appdata()) / "Elsewhere";
        fs::create_directories(programs / "TARN");
        fs::create_directories(elsewhere);
        if (client != kAbsent) {
            fs::copy_file(program_dir() + "QuarnActivex.dll",
                          programs / "TARN" / "TarnDot1xClient.exe");
        }
        const bool stand_in = kPosix && client != kExplicit;
        os::env_set("ProgramFiles", stand_in ? nullptr : programs.string().c_str());
        os::env_set("QUARN_PROGRAM_FILES_DIR",
                    (client == kExplicit ? elsewhere : programs).string().c_str());
    }

    static std::string down_path(Base base) {
        const std::string folder = fake_path("");
        const std::string bare = folder.substr(0, folder.size() - 1);
        return base == kWithSlash ? bare + "/" : base == kWithoutSeparator ? bare : folder;
    }

    FakeModule common_;
    SavedVariable program_files_{"ProgramFiles"};
    SavedVariable stand_in_{"QUARN_PROGRAM_FILES_DIR"};
};

TEST_P(Registration, AsksWithTheDeviceDescriptionAndStoresACompleteAnswer) {
    const RegistrationCase& c = GetParam();
    install_client(c.client);
    const std::string base = down_path(c.base);
    store({{"WebUrl", c.web_url}, {"ServerDownPath", c.base == kUnset ? nullptr : base.c_str()}});
    c.device(common_);
    queue(c.answer, c.answer != nullptr ? 1 : 0);
    begin();

    UpdateDeviceRegisterInfo();

    Texts arguments;
    for (const auto& call : common_.calls_of("GetDeviceInfo")) arguments.push_back(call.arguments);
    EXPECT_EQ(c.argument != nullptr ? Texts{c.argument} : Texts{}, arguments);
    Texts request;
    if (c.dox != nullptr) {
        // DoxVersion, TradeCode, then every child of the double's description.
        request.push_back(document(
            {"<TARN>", "\t<DoxVersion>" + std::string(c.dox) + "</DoxVersion>",
             "\t<TradeCode>QueryDevInfo</TradeCode>", "\t<ComputerName>TEST-PC</ComputerName>",
             "\t<Mac>00-16-3E-0A-0B-0C</Mac>", "\t<IP>10.1.2.77</IP>", "\t<OS>",
             "\t\t<Name>Windows 7</Name>", "\t\t<SP>1</SP>", "\t</OS>", "</TARN>"}));
        const std::string url = c.web_url;
        EXPECT_EQ(Texts{url.find("srv") != std::string::npos ? "srv" : "10.1.2.3"}, hosts());
    }
    EXPECT_EQ(request, requests());
    EXPECT_EQ(c.writes, writes());
    EXPECT_EQ(c.logged != nullptr ? Texts{kLogTime + std::string(c.logged) + "\n"} : Texts{},
              log_lines());
    EXPECT_EQ(c.errors, errors("UpdateDeviceRegisterInfo", "QuarnAssIdentityAuth.cpp"));
}

INSTANTIATE_TEST_SUITE_P(Answers, Registration, testing::ValuesIn(kCases),
                         case_name<RegistrationCase>);

}  // namespace
