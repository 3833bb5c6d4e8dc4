// The tray icon against the tray double, which records every call in order,
// and the working configuration double; sleeps are instant on a fake clock
// whose tick adds up the waits.
#include "autocheck/runtime/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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
const std::string kTimeLine = "\n检查时间:2026-12-01 09:30:00";

// The whole menu in order, "caption|event"; a letter names the setting an
// entry depends on: A IsAutoAuth, N ShowNavigationMenu, S EnableSoftuseApplyFor,
// P LastAuthType.
// clang-format off
const std::pair<char, const char*> kMenu[] = {
    {' ', "退出|Event_Exit"}, {' ', "关于|Event_Show_About"}, {' ', "SEPARATOR_1|MF_SEPARATOR"},
    {' ', "卸载小助手|Event Uninstall"}, {' ', "申请来宾上网码|Event Request Mask"},
    {' ', "停止使用网络|Event_Cut_Off_Network"}, {'A', "取消自动身份认证|Event_Undo_Auto_Auth"},
    {' ', "SEPARATOR_2|MF_SEPARATOR"}, {'N', "小秘书|Event Open Navigation"},
    {'N', "SEPARATOR_3|MF_SEPARATOR"}, {' ', "查看安全检查结果|Event_Look_Check_Result"},
    {' ', "身份认证与安全检查|Event_Start_Check"}, {'S', "SEPARATOR_5|MF_SEPARATOR"},
    {'S', "软件使用申请|Event Software Use Apply For"}, {' ', "SEPARATOR_4|MF_SEPARATOR"},
    {'P', "修改认证用户密码|Event Change User Password"},
    {' ', "切换上网用户|Event Open User Switch Html"}};
// clang-format on

class TrayIcon : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(tray_.load(fake_path("QuarnAssShowIcon.dll")));
        os::seams::install_fake_clock(&clock_);
        pass({{"IsHideIcon", "1"}});  // whatever icon an earlier case left goes
        config_.reset();
        traces_.clear();
    }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }

    // One pass after storing `settings`: the tray calls, "Name(arguments) " each.
    std::string pass(const Settings& settings, int add_result = 1) {
        tray_.reset();
        tray_.answer("AddTrayIcon", add_result);
        for (const auto& setting : settings) Call_TarnWriteConfig(setting.first, setting.second);
        const std::size_t reads = config_.calls_of("TarnReadConfig").size();
        const std::uint32_t before = clock_.tick;
        ShowOrUpdateIcon();
        slept_ = clock_.tick - before;
        reads_ = config_.calls_of("TarnReadConfig").size() - reads;
        std::string calls;
        for (const auto& call : tray_.calls()) calls += call.name + "(" + call.arguments + ") ";
        return calls;
    }

    AssistantHome home_;
    FakeModule config_;
    FakeModule tray_;
    os::seams::FakeClock clock_;
    TraceCapture traces_;
    std::uint32_t slept_ = 0;
    std::size_t reads_ = 0;
};

struct RebuildCase {
    const char* name;
    Settings settings;
    const char* optional;  // letters of the dependent entries shown
    std::string tooltip;
    const char* icon;
};

// clang-format off
const RebuildCase kRebuilds[] = {
    {"NothingStoredTakenAsSuccess", {}, "", kPassed, "success.ico"},
    {"EverythingOnFaultInCapitals", {{"IsAutoAuth", "yEs"}, {"ShowNavigationMenu", "1"},
      {"EnableSoftuseApplyFor", "1"}, {"LastAuthType", "USER"}, {"CheckResult", "FAULT"},
      {"CheckTime", "2026-12-01 09:30:00"}}, "ANSP", kRisk + kTimeLine, "FAULT.ico"},
    {"EverythingOffEmptyResult", {{"IsAutoAuth", "No"}, {"ShowNavigationMenu", "0"},
      {"EnableSoftuseApplyFor", "0"}, {"LastAuthType", "Email"}, {"CheckResult", ""}},
     "", kPassed, ".ico"},
    {"NavigationOnly", {{"ShowNavigationMenu", "2"}, {"IsAutoAuth", "Yes "},
      {"CheckResult", "false"}}, "N", kRisk, "false.ico"},
    {"SoftwareAndPassword", {{"EnableSoftuseApplyFor", "1"}, {"LastAuthType", "user"},
      {"CheckResult", "Success"}, {"CheckTime", "2026-12-01 09:30:00"}},
     "SP", kPassed + kTimeLine, "Success.ico"},
    {"AutoAuthOnly", {{"IsAutoAuth", "YES"}, {"LastAuthType", "UserKey"}, {"CheckResult", "ok"}},
     "A", kPassed, "ok.ico"},
};
// clang-format on

class TrayRebuild : public TrayIcon, public testing::WithParamInterface<RebuildCase> {};

TEST_P(TrayRebuild, ClearsThenBuildsTheMenuItsSettingsAllowAndTheStatusIcon) {
    const RebuildCase& c = GetParam();
    Settings settings = c.settings;
    settings.push_back({"ShowNewIcon", "1"});
    std::string expected = "DeleteAllDynamicMenu() ShowBalloonMsg(||0) DelTrayIcon() ";
    for (const auto& [when, entry] : kMenu) {
        if (when == ' ' || std::strchr(c.optional, when) != nullptr) {
            expected += std::string("AddDynamicMenu(") + entry + ") ";
        }
    }
    expected += "AddTrayIcon(" + c.tooltip + "|" + home_.appdata() + "\\Quarn\\" + c.icon + ") ";

    EXPECT_GBK_EQ(expected, pass(settings));
    EXPECT_EQ(1000u, slept_);
    const auto shown = traces_.find("ShowOrUpdateIcon", "显视新的状态图标");
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("QuarnAssAutoCheck.cpp", shown[0].source);
    const bool absent = std::none_of(c.settings.begin(), c.settings.end(), [](const auto& s) {
        return s.first == std::string("CheckResult");
    });
    EXPECT_EQ(absent ? 1u : 0u,
              traces_.find("ShowOrUpdateIcon", "没有取到检查结果, 所以就认为认证通过").size());
    EXPECT_EQ("", pass({}));  // ShowNewIcon was put back to "0"
    char show_new[8] = "";
    ReadConfigText("ShowNewIcon", show_new, sizeof show_new);
    EXPECT_STREQ("0", show_new);
}

INSTANTIATE_TEST_SUITE_P(Settings, TrayRebuild, testing::ValuesIn(kRebuilds),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Successive passes of the working thread: the tray calls (names, "*n" for
// n in a row), the time waited, and the settings read when nothing is done.
TEST_F(TrayIcon, PassesRebuildRetryHideOrDoNothing) {
    const std::string rebuild =
        "DeleteAllDynamicMenu ShowBalloonMsg DelTrayIcon AddDynamicMenu*11 ";
    const struct {
        Settings settings;
        int add_result;
        std::string calls;
        std::uint32_t slept;
        std::size_t reads;  // 0: not counted
    } passes[] = {
        {{}, 1, "", 0, 3},  // no result yet
        {{{"CheckResult", "success"}}, 0, rebuild + "AddTrayIcon*5 ", 6000, 0},
        {{}, 1, rebuild + "AddTrayIcon ", 1000, 0},  // the next pass tries again
        {{}, 1, "", 0, 3},                           // nothing changed
        {{{"IsHideIcon", "1"}}, 1, "ShowBalloonMsg DelTrayIcon ", 0, 1},
        {{{"ShowNewIcon", "1"}}, 1, "", 0, 1},  // stays hidden
        {{{"IsHideIcon", "0"}}, 1, rebuild + "AddTrayIcon ", 1000, 0},
    };
    for (const auto& p : passes) {
        SCOPED_TRACE(p.calls);
        traces_.clear();
        pass(p.settings, p.add_result);
        std::string calls;
        const auto recorded = tray_.calls();
        for (std::size_t i = 0, run = 1; i < recorded.size(); i += run, run = 1) {
            while (i + run < recorded.size() && recorded[i + run].name == recorded[i].name) ++run;
            calls += recorded[i].name + (run > 1 ? "*" + std::to_string(run) : "") + " ";
        }
        EXPECT_EQ(p.calls, calls);
        EXPECT_EQ(p.slept, slept_);
        if (p.reads != 0) {
            EXPECT_EQ(p.reads, reads_);
        }
        const std::size_t failed = p.add_result == 0 ? 5 : 0;
        EXPECT_EQ(failed,
                  traces_.find("ShowOrUpdateIcon", "添加小右下角图标失败,1秒后重试").size());
    }
}

}  // namespace
