// InstallTarnAssistant against the configuration, log and communication
// doubles in a throw-away assistant directory (reached through the real
// module-call component), the recording double as TarnAssistant.exe and a
// fixed clock (Monday 2 February 2026, 10:00).
#include "autocheck/runtime/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "os/memory.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/system.h"
#include "os/time.h"
#include "support/gbk.h"
#include "tests/autocheck/runtime/event_fixture.h"
#include "tests/fakes/Communicate/communicate_script.h"

namespace {

using namespace quarn::test;
using runtime_test::read_file;

constexpr bool kPosix = std::filesystem::path::preferred_separator == '/';

const char* const kFullPacket[][2] = {{"IsInstall", "1"},
                                      {"DeskLinkName", "Quarn"},
                                      {"CheckUrl", "http://srv.example:8080/check"},
                                      {"WebUrl", "http://srv.example"},
                                      {"CheckResult", "success"},
                                      {"ListeningPort", "36538"},
                                      {"CryptKey", "k"},
                                      {"AboutMessage", "about"},
                                      {"CheckAgent", "1"},
                                      {"HowLongNotInsert", "30"},
                                      {"DeviceID", "12"},
                                      {"RoleID", "3"},
                                      {"PolicyID", "7"},
                                      {"LastCheckTID", "99"},
                                      {"LastAuthType", "User"},
                                      {"UserName", "user"},
                                      {"Password", "pass"},
                                      {"IsAutoAuth", "Yes"},
                                      {"IsHideIcon", "0"},
                                      {"ReCheckTime", "5"},
                                      {"Disturb", "0"},
                                      {"AuthInterval", "10"},
                                      {"IsShowNavigation", "1"},
                                      {"SupportNat", "0"},
                                      {"SuportPraxa", "0"},
                                      {"ModuleSignKey", "pub"},
                                      {"ServerKeyPin", "pin"},
                                      {"SecurityDowngrade", "0"},
                                      {"EnableSoftuseApplyFor", "1"}};

// The full packet with `changes`: "Element=value;" sets, "Element;" drops.
std::string packet(const std::string& changes = "") {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& field : kFullPacket) fields.emplace_back(field[0], field[1]);
    std::istringstream in(changes);
    for (std::string item; std::getline(in, item, ';');) {
        const std::size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        fields.erase(std::remove_if(fields.begin(), fields.end(),
                                    [&](const auto& field) { return field.first == name; }),
                     fields.end());
        if (equals != std::string::npos) fields.emplace_back(name, item.substr(equals + 1));
    }
    std::string text = "<TARN>";
    for (const auto& [name, value] : fields) text += "<" + name + ">" + value + "</" + name + ">";
    return text + "</TARN>";
}

class Install : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* module :
             {"QuarnAssConfigMgr.dll", "QuarnAssLog.dll", "QuarnAssCommunicate.dll"}) {
            ASSERT_TRUE(home_.add(fake_path(module), module));
        }
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnAssistant.exe"));
        ASSERT_TRUE(config_.load(home_.path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(home_.path("QuarnAssLog.dll")));
        ASSERT_TRUE(comm_.load(home_.path("QuarnAssCommunicate.dll")));
        // The installer's result file, as the caller leaves it.
        std::ofstream(home_.path("QuarnAssAutoCheckData.inf")) << "result";
        record_ = home_.appdata() + "/started.txt";
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", record_.c_str());
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "0");
        os::env_set("QUARN_STATE_DIR", home_.appdata().c_str());
        clock_.local = {2026, 2, 1, 2, 10, 0, 0, 0};
        clock_.instant_sleep = false;
        os::seams::install_fake_clock(&clock_);
        // Assistants of an earlier case have ended.
        for (int i = 0; i < 250 && os::process_count_by_name("TarnAssistant.exe", 1) > 0; ++i) {
            os::sleep_ms(20);
        }
    }
    void TearDown() override {
        if (running_ != nullptr) {
            os::process_terminate(running_, 0);
            os::handle_close(running_);
        }
        os::seams::install_fake_clock(nullptr);
        for (const char* name :
             {"QUARN_FAKE_HTMLDLG_RECORD", "QUARN_FAKE_HTMLDLG_LIFETIME_MS", "QUARN_STATE_DIR"}) {
            os::env_set(name, nullptr);
        }
    }

    void start_running_assistant() {
        const char* const arguments[] = {"60000", nullptr};
        running_ = os::process_spawn(fake_path("TarnAssistant.exe").c_str(), arguments);
        ASSERT_NE(nullptr, running_);
        for (int i = 0; i < 500 && os::process_count_by_name("TarnAssistant.exe", 1) < 1; ++i) {
            os::sleep_ms(20);
        }
    }
    // Result and message of one call; the message block is freed here.
    int install(const std::string& text, std::string* message = nullptr) {
        writes_before_ = config_.calls_of("TarnWriteConfig").size();
        traces_.clear();
        char* block = nullptr;
        const int result = InstallTarnAssistant(text.c_str(), &block);
        if (message != nullptr) *message = block != nullptr ? block : "";
        if (block != nullptr) os::global_free(block);
        return result;
    }
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        const auto calls = config_.calls_of("TarnWriteConfig");
        for (std::size_t at = writes_before_; at < calls.size(); ++at) {
            out.push_back(calls[at].arguments);
        }
        return out;
    }
    std::string stored(const char* key) const {
        char value[300] = "(none)";
        ReadConfigText(key, value, sizeof value);
        return value;
    }
    // The parameters the assistant was started with; "-" when it was not.
    std::string started_with(bool wait) const {
        std::string line;
        for (int i = 0; i < (wait ? 500 : 1) && (line = read_file(record_)).empty(); ++i) {
            os::sleep_ms(20);
        }
        if (line.empty()) return "-";
        line = line.substr(line.rfind(".exe") + 4);
        line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        return line.substr(line.find_first_not_of(' '),
                           line.find_last_not_of("\r\n ") - line.find_first_not_of(' ') + 1);
    }
    std::string ttl() {
        std::string out;
        for (const auto& record : traces_.find("TarnSetIpTTL")) {
            if (record.level == kTraceInfo) {
                out += record.message.substr(record.message.find_last_not_of("0123456789") + 1);
            }
        }
        return out;
    }
    bool deletion_scheduled() {
        if (traces_.find("InstallTarnAssistant", "把结果文件标记为开机删除").size() != 1) {
            return false;
        }
        return !kPosix || read_file(home_.appdata() + "/pending_deletes")
                                  .find("/Quarn/QuarnAssAutoCheckData.inf\n") != std::string::npos;
    }

    AssistantHome home_;
    FakeModule config_, log_, comm_;
    TraceCapture traces_;
    os::seams::FakeClock clock_;
    std::string record_;
    os::Handle running_ = nullptr;
    std::size_t writes_before_ = 0;
};

TEST_F(Install, FullPacketStoresEverythingInOrderAndStartsTheInstaller) {
    ASSERT_EQ(1, install(packet()));
    for (FakeModule* sibling : {&config_, &log_, &comm_}) {
        const auto inits = sibling->calls_of("Init");
        ASSERT_EQ(1u, inits.size());
        EXPECT_EQ("", inits[0].arguments);
    }
    const std::vector<std::string> expected = {
        "ServerIp|srv.example",
        "WebPort|8080",
        "ServerDownPath|http://srv.example:8080/download/",
        "IsHideIcon|0",
        "CheckUrl|http://srv.example:8080/check",
        "WebUrl|http://srv.example",
        "DeviceId|12",
        "RoleId|3",
        "PolicyId|7",
        "LastCheckTID|99",
        "ResultUrl|http://srv.example/trade.php?tradecode=checkinfo&tid=99&is_client=1",
        "UserName|dXNlcg::",
        "Password|cGFzcw::",
        "IsAutoAuth|Yes",
        "LastAuthType|User",
        "SupportNat|0",
        "SuportPraxa|0",
        "CheckResult|success",
        "CheckTime|2026-02-02 10:00:00",
        "CheckDayOfWeek|1",
        "CheckMonth|2",
        "ShowNewIcon|1",
        "AboutMessage|about",
        "CheckFailRecheckTime|5",
        "IsDisturb|0",
        "AuthInterval|10",
        "ShowNavigationMenu|1",
        "ListeningPort|36538",
        "CryptKey|k",
        "CheckAgent|1",
        "HowLongNotInsert|30",
        "EnableSoftuseApplyFor|1",
        "ModuleSignKey|pub",
        "ServerKeyPin|pin",
        "SecurityDowngrade|0",
        "HaveRecheck|1",
        "CutNetworkUrl|http://srv.example:8080/trade.php?tradecode=cutoff_net&device_id=12"};
    EXPECT_EQ(expected, writes());
    EXPECT_EQ("[Config]\r\nWebUrl=http://srv.example\r\nDeviceId=12\r\n",
              read_file(home_.path("QuarnAssAutoCheck.inf")));
    EXPECT_EQ("[Config]\r\nServerDownPath=http://srv.example:8080/download/\r\n",
              read_file(home_.path("TarnAssistant.inf")));
    EXPECT_EQ("-cl:Quarn|-install", started_with(true));
    EXPECT_TRUE(deletion_scheduled());
    // The saving steps, traced at error level in this order.
    std::string steps;
    for (const auto& record : traces_.find("InstallTarnAssistant", "")) {
        const std::string& said = record.message;
        if (record.level == kTraceError && said.find("保存") != std::string::npos)
            steps += said.substr(0, said.find(" Error=")) + "\n";
    }
    EXPECT_GBK_EQ(
        "开始保存配置\n开始保存 认证用户名和密码\n完成保存 认证用户名和密码\n开始保存 "
        "最后认证类型\n完成保存 最后认证类型\n配置保存完成\n",
        steps);
}

struct EdgeCase {
    const char* name;
    const char* changes;  // to the full packet
    const char* preset;   // "Key=value" stored before, or ""
    const char* key;      // what is read back afterwards
    const char* value;
    const char* ttl;  // TTLs set, in order
    const char* command_line;
};

const EdgeCase kEdgeCases[] = {
    {"NoIsInstall", "IsInstall", "", "RoleId", "3", "", "|-install"},
    {"Uninstall", "IsInstall=0", "", "RoleId", "3", "", "-u|-install"},
    {"EmptyLinkName", "DeskLinkName=", "", "RoleId", "3", "", "-cl:|-install"},
    {"FalseInCapitalsWithNat", "CheckResult=FALSE;SupportNat", "SupportNat=1", "CheckResult",
     "FALSE", "64", "-cl:Quarn|-install"},
    {"SuccessWithNat", "SupportNat=1", "", "CheckResult", "success", "200", "-cl:Quarn|-install"},
    {"EmptyUserNameKeepsTheStoredOne", "UserName=", "UserName=b2xk", "UserName", "b2xk", "",
     "-cl:Quarn|-install"},
    {"EmptyRoleIdKeepsTheStoredOne", "RoleID=", "RoleId=9", "RoleId", "9", "",
     "-cl:Quarn|-install"},
    // Packet text stays one link name and one query value.
    {"LinkNameAddsNoSwitch", "DeskLinkName=My\"|-u", "", "RoleId", "3", "", "-cl:My-u|-install"},
    {"DeviceIdStaysOneQueryValue", "DeviceID=12&type=NoAuth#", "", "CutNetworkUrl",
     "http://srv.example:8080/trade.php?tradecode=cutoff_net&device_id=12%26type%3DNoAuth%23", "",
     "-cl:Quarn|-install"},
};

class InstallEdges : public Install, public testing::WithParamInterface<EdgeCase> {};

TEST_P(InstallEdges, StoreAndCommandLine) {
    const EdgeCase& c = GetParam();
    const std::string preset = c.preset;
    if (!preset.empty()) {
        const std::size_t equals = preset.find('=');
        Call_TarnWriteConfig(preset.substr(0, equals).c_str(), preset.substr(equals + 1).c_str());
    }
    EXPECT_EQ(1, install(packet(c.changes)));
    EXPECT_EQ(c.value, stored(c.key));
    EXPECT_EQ(c.ttl, ttl());
    EXPECT_EQ(c.command_line, started_with(true));
    const bool dropped = std::string(c.changes).find('"') != std::string::npos;
    EXPECT_EQ(
        dropped ? 1u : 0u,
        traces_.find("InstallTarnAssistant", "桌面快捷方式名称中有文件名不能有的字符").size());
}

INSTANTIATE_TEST_SUITE_P(Rows, InstallEdges, testing::ValuesIn(kEdgeCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct ForwardCase {
    const char* name;
    const char* changes;
    bool running;
    const char* reply;  // the assistant's answer, null for none
    // Outcome.
    bool sent;
    bool stored;        // step 5 ran and the installer started
    const char* trace;  // an error trace expected, or ""
};

const ForwardCase kForwardCases[] = {
    {"Applied", "", true, "<TARN><Result>1</Result></TARN>", true, false, ""},
    // An assistant that did not apply it (or does not know the notice).
    {"NotApplied", "", true, "<TARN><Result>0</Result></TARN>", true, true, "通知注册信失败"},
    {"AnswerWithoutResult", "", true, "<TARN/>", true, true, "通知注册信失败"},
    {"NotAnswered", "", true, nullptr, true, true, "通知注册信失败"},
    {"AlreadyForwarded", "WhatToDo=DeviceRegNotify", true, "<TARN><Result>1</Result></TARN>", false,
     true, ""},
    {"NoneRunning", "", false, "<TARN><Result>1</Result></TARN>", false, true,
     "没有小助手进程在运行"},
};

class InstallForwarding : public Install, public testing::WithParamInterface<ForwardCase> {};

TEST_P(InstallForwarding, ToARunningAssistantOnce) {
    const ForwardCase& c = GetParam();
    if (c.running) start_running_assistant();
    if (c.reply != nullptr) {
        queue_reply(comm_, "GetTcpPacketFrom", 1, cutil_xml_import_fre(c.reply));
    }
    EXPECT_EQ(1, install(packet(c.changes)));

    const auto sent = sent_requests(comm_);
    ASSERT_EQ(c.sent ? 1u : 0u, sent.size());
    if (c.sent) {
        std::string text = sent[0].text;
        text.erase(std::remove_if(text.begin(), text.end(), [](char ch) { return ch <= ' '; }),
                   text.end());
        EXPECT_NE(std::string::npos,
                  text.find("<EnableSoftuseApplyFor>1</EnableSoftuseApplyFor><WhatToDo>"
                            "DeviceRegNotify</WhatToDo><TradeCode>DeviceRegNotify</"
                            "TradeCode></TARN>"))
            << sent[0].text;
        EXPECT_EQ(1u, log_.calls_of("TarnLogToFile").size() - (c.stored ? 1u : 0u));
    }
    EXPECT_EQ(c.stored ? "srv.example" : "(none)", stored("ServerIp"));
    EXPECT_EQ(c.stored ? "-cl:Quarn|-install" : "-", started_with(c.stored));
    if (*c.trace != '\0') {
        EXPECT_EQ(1u, traces_.find("InstallTarnAssistant", c.trace).size());
    }
    EXPECT_TRUE(deletion_scheduled());
}

INSTANTIATE_TEST_SUITE_P(Rows, InstallForwarding, testing::ValuesIn(kForwardCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct FailureCase {
    const char* name;
    std::string text;
    const char* message;
};

const FailureCase kFailures[] = {
    {"Unparsable", "not a packet", "取策略报文失败"},
    {"WithoutCheckUrl", packet("CheckUrl"), "发生异常,调用失败"},
};

class InstallFailures : public Install, public testing::WithParamInterface<FailureCase> {};

TEST_P(InstallFailures, WriteNothingAndStillScheduleTheDeletion) {
    std::string message;
    EXPECT_EQ(0, install(GetParam().text, &message));
    EXPECT_GBK_EQ(GetParam().message, message);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ("", read_file(home_.path("QuarnAssAutoCheck.inf")));
    EXPECT_EQ("-", started_with(false));
    EXPECT_TRUE(deletion_scheduled());
}

INSTANTIATE_TEST_SUITE_P(Rows, InstallFailures, testing::ValuesIn(kFailures),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
