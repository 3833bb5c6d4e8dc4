// The tray icon against the tray double, which records every call in order,
// and the working configuration double. Sleeps are instant on a fake clock
// whose tick adds up the waits.
#include "autocheck/runtime/tray_icon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "interface/config_access.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;
using Settings = std::vector<std::pair<const char*, const char*>>;

const std::string kPassed = "您的电脑已通过安全检查";
const std::string kRisk = "您的电脑存在安全隐患，请及时修复";
constexpr char kRebuilt[] = "显视新的状态图标";
constexpr char kRetry[] = "添加小右下角图标失败,1秒后重试";
constexpr char kNoResult[] = "没有取到检查结果, 所以就认为认证通过";

// The whole menu in the order it is built; `when` names the setting an
// optional entry depends on: A IsAutoAuth, N ShowNavigationMenu,
// S EnableSoftuseApplyFor, P LastAuthType.
struct Entry {
    const char* caption;
    const char* event;
    char when;
};
const Entry kMenu[] = {
    {"退出", "Event_Exit", ' '},
    {"关于", "Event_Show_About", ' '},
    {"SEPARATOR_1", "MF_SEPARATOR", ' '},
    {"卸载小助手", "Event Uninstall", ' '},
    {"申请来宾上网码", "Event Request Mask", ' '},
    {"停止使用网络", "Event_Cut_Off_Network", ' '},
    {"取消自动身份认证", "Event_Undo_Auto_Auth", 'A'},
    {"SEPARATOR_2", "MF_SEPARATOR", ' '},
    {"小秘书", "Event Open Navigation", 'N'},
    {"SEPARATOR_3", "MF_SEPARATOR", 'N'},
    {"查看安全检查结果", "Event_Look_Check_Result", ' '},
    {"身份认证与安全检查", "Event_Start_Check", ' '},
    {"SEPARATOR_5", "MF_SEPARATOR", 'S'},
    {"软件使用申请", "Event Software Use Apply For", 'S'},
    {"SEPARATOR_4", "MF_SEPARATOR", ' '},
    {"修改认证用户密码", "Event Change User Password", 'P'},
    {"切换上网用户", "Event Open User Switch Html", ' '},
};

class TrayIcon : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(tray_.load(fake_path("QuarnAssShowIcon.dll")));
        os::seams::install_fake_clock(&clock_);
        // Whatever icon an earlier case left is removed.
        set({{"IsHideIcon", "1"}});
        ShowOrUpdateIcon();
        config_.reset();
        traces_.clear();
    }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }

    static void set(const Settings& settings) {
        for (const auto& setting : settings) Call_TarnWriteConfig(setting.first, setting.second);
    }

    // One pass after storing `pending_`: the tray calls it made,
    // "Name(arguments) " each; the time it waited and the settings it read.
    std::string pass() {
        tray_.reset();
        tray_.answer("AddTrayIcon", add_result_);
        set(pending_);
        pending_.clear();
        const std::size_t reads = config_.calls_of("TarnReadConfig").size();
        const std::uint32_t before = clock_.tick;
        ShowOrUpdateIcon();
        slept_ = clock_.tick - before;
        reads_ = static_cast<int>(config_.calls_of("TarnReadConfig").size() - reads);
        std::string calls;
        for (const auto& call : tray_.calls()) calls += call.name + "(" + call.arguments + ") ";
        return calls;
    }

    std::string icon(const char* file) const { return home_.appdata() + "\\Quarn\\" + file; }

    std::vector<std::string> traced() {
        std::vector<std::string> lines;
        for (const auto& record : traces_.find("ShowOrUpdateIcon")) {
            EXPECT_EQ("QuarnAssAutoCheck.cpp", record.source);
            lines.push_back(std::to_string(record.level) + " " + record.message);
        }
        return lines;
    }

    AssistantHome home_;
    FakeModule config_;
    FakeModule tray_;
    os::seams::FakeClock clock_;
    TraceCapture traces_;
    Settings pending_;
    int add_result_ = 1;
    std::uint32_t slept_ = 0;
    int reads_ = 0;
};

constexpr char kCleared[] = "DeleteAllDynamicMenu() ShowBalloonMsg(||0) DelTrayIcon() ";

struct MenuCase {
    const char* name;
    Settings settings;
    const char* optional;  // the `when` letters of the optional entries shown
};

const MenuCase kMenuCases[] = {
    {"NothingStored", {}, ""},
    {"EverythingOn",
     {{"IsAutoAuth", "yEs"},
      {"ShowNavigationMenu", "1"},
      {"EnableSoftuseApplyFor", "1"},
      {"LastAuthType", "USER"}},
     "ANSP"},
    {"EverythingOff",
     {{"IsAutoAuth", "No"},
      {"ShowNavigationMenu", "0"},
      {"EnableSoftuseApplyFor", "0"},
      {"LastAuthType", "Email"}},
     ""},
    {"NavigationOnly", {{"ShowNavigationMenu", "2"}, {"IsAutoAuth", "Yes "}}, "N"},
    {"SoftwareAndPassword", {{"EnableSoftuseApplyFor", "1"}, {"LastAuthType", "user"}}, "SP"},
    {"AutoAuthOnly", {{"IsAutoAuth", "YES"}, {"LastAuthType", "UserKey"}}, "A"},
};

class TrayMenu : public TrayIcon, public testing::WithParamInterface<MenuCase> {};

TEST_P(TrayMenu, RebuildsTheMenuEntriesItsSettingsAllowInOrder) {
    pending_ = GetParam().settings;
    pending_.insert(pending_.end(), {{"ShowNewIcon", "1"}, {"CheckResult", "success"}});
    std::string expected = kCleared;
    for (const Entry& entry : kMenu) {
        if (entry.when == ' ' || std::strchr(GetParam().optional, entry.when) != nullptr) {
            expected += std::string("AddDynamicMenu(") + entry.caption + "|" + entry.event + ") ";
        }
    }
    expected += "AddTrayIcon(" + kPassed + "|" + icon("success.ico") + ") ";

    EXPECT_GBK_EQ(expected, pass());
    EXPECT_EQ(1000u, slept_);
    char show_new[8] = "";
    ReadConfigText("ShowNewIcon", show_new, sizeof show_new);
    EXPECT_STREQ("0", show_new);
}

INSTANTIATE_TEST_SUITE_P(Settings, TrayMenu, testing::ValuesIn(kMenuCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

struct StatusCase {
    const char* name;
    const char* check_result;  // null: not stored
    const char* check_time;    // null: not stored
    std::string tooltip;
    const char* icon_file;
    bool fallback_traced;
};

const StatusCase kStatusCases[] = {
    {"FaultInCapitals", "FAULT", nullptr, kRisk, "FAULT.ico", false},
    {"FalseWithCheckTime", "false", "2026-12-01 09:30:00", kRisk + "\n检查时间:2026-12-01 09:30:00",
     "false.ico", false},
    {"SuccessWithCheckTime", "Success", "2026-12-01 09:30:00",
     kPassed + "\n检查时间:2026-12-01 09:30:00", "Success.ico", false},
    {"AbsentTakenAsSuccess", nullptr, nullptr, kPassed, "success.ico", true},
    {"EmptyGivesBareExtension", "", nullptr, kPassed, ".ico", false},
};

class TrayStatus : public TrayIcon, public testing::WithParamInterface<StatusCase> {};

TEST_P(TrayStatus, TooltipAndIconFileFollowTheStoredResult) {
    const StatusCase& c = GetParam();
    pending_ = {{"ShowNewIcon", "1"}};
    if (c.check_result != nullptr) pending_.push_back({"CheckResult", c.check_result});
    if (c.check_time != nullptr) pending_.push_back({"CheckTime", c.check_time});
    pass();

    const auto added = tray_.calls_of("AddTrayIcon");
    ASSERT_EQ(1u, added.size());
    EXPECT_GBK_EQ(c.tooltip + "|" + icon(c.icon_file), added[0].arguments);
    std::vector<std::string> expected = {std::string("2 ") + kRebuilt};
    if (c.fallback_traced) expected.push_back(std::string("1 ") + kNoResult);
    EXPECT_EQ(expected, traced());
}

INSTANTIATE_TEST_SUITE_P(Results, TrayStatus, testing::ValuesIn(kStatusCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Successive passes of the working thread: what each one asks of the tray,
// how long it waits, and how many settings it reads when it does nothing.
struct Pass {
    Settings settings;
    int add_result;
    std::string calls;  // names, "*n" for n in a row
    std::uint32_t slept;
    int reads;  // -1: not counted
};

constexpr char kRebuild[] = "DeleteAllDynamicMenu ShowBalloonMsg DelTrayIcon AddDynamicMenu*11 ";

TEST_F(TrayIcon, PassesRebuildRetryHideOrDoNothing) {
    const std::string rebuild = kRebuild;
    const Pass passes[] = {
        {{}, 1, "", 0, 3},  // no result yet
        {{{"CheckResult", "success"}}, 0, rebuild + "AddTrayIcon*5 ", 6000, -1},
        {{}, 1, rebuild + "AddTrayIcon ", 1000, -1},  // the next pass retries
        {{}, 1, "", 0, 3},                            // nothing changed
        {{{"ShowNewIcon", "1"}}, 1, rebuild + "AddTrayIcon ", 1000, -1},
        {{{"IsHideIcon", "1"}}, 1, "ShowBalloonMsg DelTrayIcon ", 0, 1},
        {{{"ShowNewIcon", "1"}}, 1, "", 0, 1},  // stays hidden
        {{{"IsHideIcon", "0"}}, 1, rebuild + "AddTrayIcon ", 1000, -1},
    };
    for (std::size_t i = 0; i < std::size(passes); ++i) {
        SCOPED_TRACE("pass " + std::to_string(i));
        const Pass& p = passes[i];
        pending_ = p.settings;
        add_result_ = p.add_result;
        traces_.clear();
        pass();

        std::string calls;
        const auto recorded = tray_.calls();
        for (std::size_t j = 0; j < recorded.size();) {
            std::size_t run = 1;
            while (j + run < recorded.size() && recorded[j + run].name == recorded[j].name) ++run;
            calls += recorded[j].name + (run > 1 ? "*" + std::to_string(run) : "") + " ";
            j += run;
        }
        EXPECT_EQ(p.calls, calls);
        EXPECT_EQ(p.slept, slept_);
        for (const auto& balloon : tray_.calls_of("ShowBalloonMsg")) {
            EXPECT_EQ("||0", balloon.arguments);  // only ever cleared here
        }
        const std::size_t retries = p.add_result == 0 ? tray_.calls_of("AddTrayIcon").size() : 0;
        EXPECT_EQ(retries, traces_.find("ShowOrUpdateIcon", kRetry).size());
        if (p.reads >= 0) {
            EXPECT_EQ(p.reads, reads_);
        }
    }
}

}  // namespace
