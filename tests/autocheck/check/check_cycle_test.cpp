// The check, repair and report cycle against real plug-in modules (through
// the module-call component), the page-dialog double as a real process, the
// communication double as the server and the desktop agent's doubles in
// their folder. Each row says what the checks answer and what the endpoint
// is set to; the outcome is read off the store, the requests sent, the
// dialogs started, the TTL traces and the agent's calls.
#include "autocheck/check/check_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "autocheck/pass_budget.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "os/seams.h"
#include "os/system.h"
#include "os/ui.h"
#include "support/gbk.h"
#include "tests/fakes/Communicate/communicate_script.h"
#include "tests/fakes/agent_folder.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

constexpr char kPolicy[] =
    "<TARN><SecurityCheckPolicy><CheckItems><Item><ItemID>11</ItemID><Key>%s</Key>"
    "<Rate>100</Rate><CheckType><DLL>QuarnTurnPlugin.dll</DLL><DLLFunc>CheckInTurn</DLLFunc>"
    "</CheckType></Item></CheckItems></SecurityCheckPolicy>"
    "<LastCheckResult>success</LastCheckResult></TARN>";
constexpr char kResultUrl[] =
    "http://127.0.0.1:8080/trade.php?tradecode=checkinfo&tid=99&is_client=1";

enum Reply { kNoReply, kReplyWithId, kReplyWithoutId };

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t bar = std::min(text.find('|', start), text.size());
        parts.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return parts;
}

struct CycleCase {
    const char* name;
    const char* key;       // the item's Key: "Yes" fails as "false", "No" as "fault"
    const char* verdicts;  // the plug-in's answers in turn
    int recheck_seconds;
    int auto_repair;
    int disturb;
    Reply reply;
    // Outcome.
    int result;
    int checks;               // plug-in calls
    const char* stored;       // CheckResult after the cycle ("old": untouched)
    const char* dialogs;      // titles of the dialogs started, in order
    int ttl;                  // TTL asked for at the end, 0 for none
    bool restored;            // the desktop agent was asked to lift its block
    int slept_seconds;        // the pause before the re-check
    const char* logged;       // user-log lines it holds, "|"-separated
    const char* traced = "";  // the cycle's traces it holds, "|"-separated
};

// The banners the cycle logs on entry and on a complete run.
#define CYCLE_BANNER(word, after) \
    "-------------------------------------" word " DoSecurityCheckAndReportResult" after
const char kEnter[] = CYCLE_BANNER("进入", "-----------------------------------------");
const char kLeave[] = CYCLE_BANNER("退出", "-------------------------------------------");

const CycleCase kCases[] = {
    {"PassAtOnce", "Yes", "Yes", 30, 0, 0, kReplyWithId, 1, 1, "success", "", 200, true, 0, kLeave},
    {"PassOnRecheck", "Yes", "No|Yes", 30, 0, 0, kReplyWithId, 1, 2, "success", "", 200, true, 30,
     "睡眠30秒后重新检查"},
    // The pause is not counted against the pass's eight minutes.
    {"PassOnRecheckAfterAPauseLongerThanThePass", "Yes", "No|Yes", 600, 0, 0, kReplyWithId, 1, 2,
     "success", "", 200, true, 600, "睡眠600秒后重新检查"},
    {"ManualRepairPageNoReport", "Yes", "No", 0, 0, 0, kReplyWithId, 1, 1, "old",
     "入网小助手-手动修复", 64, false, 0, "因为没有开启自动修复功能，所以直接打开手动修复页面"},
    {"ManualDoNotDisturbReports", "Yes", "No|No", 1, 0, 1, kReplyWithoutId, 1, 2, "false", "", 64,
     false, 1,
     "因为没有开启自动修复功能，但当前模式为免打挠，所有就不打开手动修复页面了，但会上报检查结果",
     "因为没有开启自动修复功能，但当前模式为免打挠，所有就不打开手动修复页面了，但会上报检查结果"},
    {"AutoRepairPasses", "Yes", "No|Yes", 0, 1, 0, kReplyWithId, 1, 2, "success",
     "入网小助手-自动修复", 200, true, 0, "启动自动修复进程|修复后检查通过了, 上报安检结果"},
    {"AutoRepairFailsOpensManualPage", "Yes", "No|No", 0, 1, 0, kReplyWithId, 1, 2, "old",
     "入网小助手-自动修复,入网小助手-手动修复", 64, false, 0,
     "修复进程退出|修复后检查还是没有通过"},
    {"AutoRepairFailsDoNotDisturbReports", "Yes", "No|No", 0, 1, 1, kReplyWithId, 1, 2, "false",
     "入网小助手-自动修复", 64, false, 0,
     "修复后检查还是没有通过，但当前模式为免打挠，所有就不打开检查页面了，但会上报检查结果",
     "安全检查没有完全通过|"
     "修复后检查还是没有通过，但当前模式为免打挠，所有就不打开检查页面了，但会上报检查结果"},
    {"FaultWithinGraceIsAdmitted", "No", "No", 0, 0, 1, kReplyWithId, 1, 1, "fault", "", 200, true,
     0, "最后检查结果: fault"},
    {"UnansweredReportStopsTheCycle", "Yes", "Yes", 0, 0, 0, kNoReply, 0, 1, "old", "", 0, false, 0,
     kEnter},
};

class CycleFixture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(home_.add(fake_path("QuarnTurnPlugin.dll"), "QuarnTurnPlugin.dll"));
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        ASSERT_TRUE(agent_.add(fake_path("BrimDepend.dll"), "BrimDepend.dll"));
        ASSERT_TRUE(plugin_.load(home_.path("QuarnTurnPlugin.dll")));
        ASSERT_TRUE(depend_.load(agent_.path("BrimDepend.dll")));
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        dialogs_file_ = home_.appdata() + "/dialogs.txt";
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", dialogs_file_.c_str());
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "200");
        clock_.local = {2026, 12, 2, 1, 9, 30, 0, 0};  // a Tuesday
        clock_.utc = clock_.local;
        os::seams::install_fake_clock(&clock_);
        write_settings(nullptr);
        traces_.clear();
    }

    // The endpoint's settings, all but `except`.
    void write_settings(const char* except) const {
        const char* const settings[][2] = {
            {"DeviceId", "7"},
            {"RoleId", "2"},
            {"PolicyId", "3"},
            {"IsDoSecurityCheck", "1"},
            {"WebUrl", "http://127.0.0.1:8080"},
            {"SupportNat", "1"},
            {"SuportPraxa", "1"},
            {"CheckResult", "old"},
            {"ResultUrl", "old"},
        };
        for (const auto& setting : settings) {
            if (except == nullptr || std::string(except) != setting[0]) {
                Call_TarnWriteConfig(setting[0], setting[1]);
            }
        }
        Call_TarnWriteConfig("ServerDownPath", home_.dir().c_str());
    }

    void TearDown() override {
        os::seams::install_fake_clock(nullptr);
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr);
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", nullptr);
    }

    void write_policy(const char* key) const {
        char text[1024];
        std::snprintf(text, sizeof text, kPolicy, key);
        std::ofstream(home_.path("SecurityCheckPolicy.xml"), std::ios::binary) << text;
    }

    std::string stored(const char* key) const {
        char value[260] = "(none)";
        ReadConfigText(key, value, sizeof value);
        return value;
    }

    // Titles of the dialogs started, as "a,b". A dialog the cycle did not
    // wait for records itself once it runs: up to `expected` are waited for.
    std::string dialogs(const std::string& expected) const {
        std::string titles;
        for (int i = 0; i < 250; ++i) {
            titles.clear();
            std::ifstream in(dialogs_file_, std::ios::binary);
            for (std::string line; std::getline(in, line);) {
                const std::size_t tab = line.find('\t');
                const std::string title = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
                titles += (titles.empty() ? "" : ",") + title;
            }
            if (titles.size() >= expected.size()) break;
            // A real pause: the test's fake clock makes os::sleep_ms instant.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return titles;
    }

    // The TTL the cycle asked for (the number ends the helper's trace).
    int ttl() {
        int asked = 0;
        for (const auto& record : traces_.find("TarnSetIpTTL")) {
            // "设置TTL成功：200", or the fallback's "通过 SetIpTTL 设置TTL失败：200".
            if (record.level != kTraceInfo) continue;
            const std::string& text = record.message;
            asked = std::atoi(text.c_str() + text.find_last_not_of("0123456789") + 1);
        }
        return asked;
    }

    bool logged(const char* text) const {
        for (const auto& line : user_log()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    std::vector<std::string> user_log() const {
        std::vector<std::string> lines;
        for (const auto& call : log_.calls_of("TarnLogToFile")) lines.push_back(call.arguments);
        return lines;
    }

    AssistantHome home_;
    AgentFolder agent_;
    FakeModule plugin_, depend_, config_, comm_, log_;
    TraceCapture traces_;
    os::seams::FakeClock clock_;
    std::string dialogs_file_;
};

class CheckCycle : public CycleFixture, public testing::WithParamInterface<CycleCase> {};

TEST_P(CheckCycle, ChecksRepairsReportsAndMarksTheEndpoint) {
    const CycleCase& c = GetParam();
    write_policy(c.key);
    plugin_.answer("CheckInTurn", 0, c.verdicts);
    WriteConfigInt("CheckFailRecheckTime", c.recheck_seconds);
    WriteConfigInt("IsAutoRepair", c.auto_repair);
    WriteConfigInt("IsDisturb", c.disturb);
    if (c.reply == kNoReply) {
        queue_reply(comm_, "GetUdpPacketFrom", 0, nullptr);
    } else {
        XmlNode* reply = cutil_xml_create("test", "reply", __LINE__);
        if (c.reply == kReplyWithId) cutil_xml_add(reply, "99", "TARN/LastCheckId");
        queue_reply(comm_, "GetUdpPacketFrom", 1, reply);
    }

    autocheck::pass_begin();  // as the admission cycle runs it
    EXPECT_EQ(c.result, DoSecurityCheckAndReportResult());
    autocheck::pass_end();

    EXPECT_EQ(static_cast<std::size_t>(c.checks), plugin_.calls_of("CheckInTurn").size());
    EXPECT_EQ(c.stored, stored("CheckResult"));
    EXPECT_GBK_EQ(c.dialogs, dialogs(c.dialogs));
    EXPECT_EQ(c.ttl, ttl());
    EXPECT_EQ(c.restored ? 1u : 0u, depend_.calls_of("CutoffNetwork").size());
    EXPECT_EQ("2026-12-01 09:30:00", stored("CheckTime"));
    EXPECT_EQ("2", stored("CheckDayOfWeek"));
    EXPECT_EQ("12", stored("CheckMonth"));
    EXPECT_EQ(c.slept_seconds * 1000u, clock_.tick);
    for (const std::string& line : split(c.logged)) EXPECT_TRUE(logged(line.c_str())) << line;
    for (const std::string& text : split(c.traced)) {
        EXPECT_EQ(1u, traces_.find("DoSecurityCheckAndReportResult", text.c_str()).size()) << text;
    }
    EXPECT_EQ(c.reply == kNoReply ? 1u : 0u,
              traces_.find("DoSecurityCheckAndReportResult", "上报安全检查结果失败").size());

    // The report: the engine's result with the three nodes appended last.
    const auto sent = sent_requests(comm_);
    const bool reported = std::string(c.stored) != "old" || c.reply == kNoReply;
    ASSERT_EQ(reported ? 1u : 0u, sent.size());
    if (reported) {
        const std::string tail =
            "\t<TradeCode>ReportCheckResult</TradeCode>\r\n\t<AgentID>7</AgentID>\r\n"
            "\t<PolicyId>3</PolicyId>\r\n</TARN>\r\n";
        EXPECT_EQ(tail, sent[0].text.substr(sent[0].text.size() - tail.size()));
    }
    const bool answered = reported && c.reply != kNoReply;
    EXPECT_EQ(answered ? "1" : "(none)", stored("ShowNewIcon"));
    EXPECT_EQ(answered ? "1" : "(none)", stored("HaveRecheck"));
    EXPECT_EQ(answered, stored("CheckScore") != "(none)");
    EXPECT_EQ(answered && c.reply == kReplyWithId ? kResultUrl : "old", stored("ResultUrl"));
    EXPECT_EQ(answered && c.reply == kReplyWithId ? "99" : "(none)", stored("LastCheckTID"));
    if (c.auto_repair != 0) {
        EXPECT_FALSE(traces_.find("DoSecurityCheckAndReportResult", "修复进程退出").empty())
            << "the cycle waited for the repair dialog to end";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckCycle, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CycleCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

// The gates before any check: each stops with nothing stored beyond the
// check time.
struct GateCase {
    const char* name;
    const char* key;    // set to `value`; "SecurityCheckPolicy.xml" is deleted instead
    const char* value;  // kUnset: the key is not there at all
    int result;
    const char* trace;
};

constexpr char kUnset[] = "(unset)";

const GateCase kGates[] = {
    {"DeviceIdUnset", "DeviceId", kUnset, 0, "没有取到DeviceId"},
    {"CheckWantedUnset", "IsDoSecurityCheck", kUnset, 1, "不用做安全检查"},
    {"RoleIdUnset", "RoleId", kUnset, 0, "没有取到角色ID，身份认证可能没通过"},
    {"Unregistered", "DeviceId", "0", 0, "没有取到DeviceId"},
    {"Isolated", "IsForbid", "1", 0, "此设备已被隔离，不做自动身份认证"},
    {"NotAuthenticated", "RoleId", "0", 0, "没有取到角色ID，身份认证可能没通过"},
    {"NoCheckWanted", "IsDoSecurityCheck", "0", 1, "不用做安全检查"},
    {"NoPolicyFile", "SecurityCheckPolicy.xml", nullptr, 0, "没有找到安全检查策略"},
};

class CycleGate : public CycleFixture, public testing::WithParamInterface<GateCase> {};

TEST_P(CycleGate, StopsBeforeAnyCheck) {
    const GateCase& c = GetParam();
    write_policy("Yes");
    if (c.value == kUnset) {
        config_.reset();
        write_settings(c.key);
    } else if (c.value != nullptr) {
        Call_TarnWriteConfig(c.key, c.value);
    } else {
        std::remove(home_.path(c.key).c_str());
    }

    EXPECT_EQ(c.result, DoSecurityCheckAndReportResult());

    EXPECT_TRUE(plugin_.calls_of("CheckInTurn").empty());
    EXPECT_TRUE(sent_requests(comm_).empty());
    EXPECT_EQ("old", stored("CheckResult"));
    EXPECT_EQ("2026-12-01 09:30:00", stored("CheckTime"));
    EXPECT_EQ(1u, traces_.find("DoSecurityCheckAndReportResult", c.trace).size()) << c.trace;
    const auto lines = user_log();
    const bool told = std::string(c.key) == "IsDoSecurityCheck";
    ASSERT_EQ(told ? 2u : 1u, lines.size());  // the entry banner first
    if (told) {
        EXPECT_NE(std::string::npos, lines[1].find("          策略要求不做安全检查\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Gates, CycleGate, testing::ValuesIn(kGates),
                         [](const testing::TestParamInfo<GateCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

// Each row breaks one step after the first check; the cycle stops there or
// carries on as the row says.
enum Break {
    kPolicyIdMissing,
    kPolicyIdNegative,
    kNoDialogProgram,
    kAutoRepairUnset,
    kPraxaUnset,
    kNothingElse
};

struct EndCase {
    const char* name;
    Break broken;
    const char* verdicts;  // "-" is an answer the engine cannot read: that check fails
    int recheck_seconds;
    int auto_repair;
    int result;
    const char* trace;     // traced once by the cycle, "" for none
    const char* logged;    // a user-log line, "" for none
    const char* reported;  // the report's PolicyId, nullptr for no report
    int ttl;
    int restored = -1;  // calls asking the desktop agent to lift its block; -1: not counted
};

const EndCase kEnds[] = {
    {"FirstCheckFails", kNothingElse, "-", 30, 0, 0, "安全检查发生错误",
     "安全检查发生错误, 检查失败", nullptr, 0},
    {"RecheckFails", kNothingElse, "No|-", 30, 0, 0, "安全检查发生错误",
     "安全检查发生错误, 检查失败", nullptr, 0},
    {"RecheckAfterRepairFails", kNothingElse, "No|-", 0, 1, 1, "修复后重新安全检查发生错误",
     "修复进程退出", nullptr, 0},
    {"RepairDialogDoesNotStart", kNoDialogProgram, "No", 0, 1, 1, "自动修复进程启动失败",
     "自动修复进程启动失败", nullptr, 64},
    {"NegativePolicyIdStops", kPolicyIdNegative, "Yes", 0, 0, 0, "没有取到PolicyId", "", nullptr,
     0},
    {"NoAutoRepairSettingRepairsByHand", kAutoRepairUnset, "No", 0, 0, 1, "",
     "因为没有开启自动修复功能，所以直接打开手动修复页面", nullptr, 64},
    {"NoPraxaSettingLeavesTheAgentAlone", kPraxaUnset, "Yes", 0, 0, 1, "", "最后检查结果: success",
     "3", 200, 0},
    {"MissingPolicyIdReportsZero", kPolicyIdMissing, "Yes", 0, 0, 1, "", "最后检查结果: success",
     "0", 200},
};

class CycleEnd : public CycleFixture, public testing::WithParamInterface<EndCase> {};

TEST_P(CycleEnd, StopsOrCarriesOnAsTheStepSays) {
    const EndCase& c = GetParam();
    write_policy("Yes");
    plugin_.answer("CheckInTurn", 0, c.verdicts);
    WriteConfigInt("CheckFailRecheckTime", c.recheck_seconds);
    WriteConfigInt("IsAutoRepair", c.auto_repair);
    if (c.broken == kPolicyIdMissing || c.broken == kAutoRepairUnset || c.broken == kPraxaUnset) {
        config_.reset();
        write_settings(c.broken == kPolicyIdMissing ? "PolicyId"
                       : c.broken == kPraxaUnset    ? "SuportPraxa"
                                                    : nullptr);
    }
    if (c.broken == kPolicyIdNegative) Call_TarnWriteConfig("PolicyId", "-1");
    if (c.broken == kNoDialogProgram) std::remove(home_.path("TarnHtmlDlg.exe").c_str());
    XmlNode* reply = cutil_xml_create("test", "reply", __LINE__);
    queue_reply(comm_, "GetUdpPacketFrom", 1, reply);

    EXPECT_EQ(c.result, DoSecurityCheckAndReportResult());

    if (*c.trace != '\0') {
        EXPECT_EQ(1u, traces_.find("DoSecurityCheckAndReportResult", c.trace).size()) << c.trace;
    }
    if (*c.logged != '\0') {
        EXPECT_TRUE(logged(c.logged)) << c.logged;
    }
    const auto sent = sent_requests(comm_);
    ASSERT_EQ(c.reported != nullptr ? 1u : 0u, sent.size());
    if (c.reported != nullptr) {
        EXPECT_NE(std::string::npos,
                  sent[0].text.find(std::string("<PolicyId>") + c.reported + "</PolicyId>"));
    }
    EXPECT_EQ(c.reported != nullptr ? "success" : "old", stored("CheckResult"));
    EXPECT_EQ(c.ttl, ttl());
    if (c.restored >= 0) {
        EXPECT_EQ(static_cast<std::size_t>(c.restored), depend_.calls_of("CutoffNetwork").size());
    }
    EXPECT_EQ(
        c.recheck_seconds > 0 && std::string(c.verdicts) != "-" ? c.recheck_seconds * 1000u : 0u,
        clock_.tick);
}

INSTANTIATE_TEST_SUITE_P(Ends, CycleEnd, testing::ValuesIn(kEnds),
                         [](const testing::TestParamInfo<EndCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

// A repair dialog left open earlier is ended before the cycle opens its own.
TEST_F(CycleFixture, EndsTheRepairDialogLeftOpen) {
    write_policy("Yes");
    plugin_.answer("CheckInTurn", 0, "No");
    const char* const titles[] = {"入网小助手-手动修复", "入网小助手-自动修复"};
    for (int automatic = 0; automatic < 2; ++automatic) {
        const char* title = titles[automatic];
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "30000");
        ASSERT_EQ(1, OpenUrlInTarnHtmlDlg(title, "", "about:blank", nullptr, 0, 0, 1, 0));
        for (int i = 0; i < 250 && os::window_find_process(title) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "200");
        WriteConfigInt("IsAutoRepair", automatic);
        traces_.clear();

        EXPECT_EQ(1, DoSecurityCheckAndReportResult());

        EXPECT_EQ(1u,
                  traces_.find("DoSecurityCheckAndReportResult", "成功结束了上次的修复进程").size())
            << title;
    }
}

}  // namespace
