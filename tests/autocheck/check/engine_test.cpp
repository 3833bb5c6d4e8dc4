// The security check engine through the real module-call component and real
// plug-in modules (tests/fakes/SamplePlugin): judging, the fault period,
// the score, failures, the notify routine and the export.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "autocheck/check/security_check.h"
#include "autocheck/pass_budget.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "os/fault.h"
#include "os/module.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __lsan_disable();
#endif

namespace {

using namespace quarn::test;

struct Item {
    const char* verdict;  // what CheckByOption answers; null: no verdict
    const char* key;      // null: no Key
    const char* rate;     // null: no Rate
    const char* function = "CheckByOption";
    const char* dll = "QuarnSamplePlugin.dll";
};

struct History {
    const char* repair = "7";
    const char* last_result = "success";
    const char* check_time = "2024-03-19 09:00:00";
    const char* fault_time = "2024-03-01 08:00:00";
};

std::string element(const char* name, const char* text) {
    return text == nullptr ? "" : std::string("<") + name + ">" + text + "</" + name + ">";
}

std::string policy_text(const std::vector<Item>& items, const History& h) {
    std::string text = "<TARN>" + element("LastFaultTime", h.fault_time) +
                       element("LastCheckTime", h.check_time) +
                       element("LastCheckResult", h.last_result) + "<SecurityCheckPolicy>" +
                       element("RepairConf", h.repair) + "<CheckItems>";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const std::string n = std::to_string(i + 1);
        text += "<Item>" + element("ItemID", ("I" + n).c_str()) + element("Key", item.key) +
                element("Rate", item.rate) + "<CheckType>" + element("DLL", item.dll) +
                element("DLLFunc", item.function) + "<Option>" + element("Verdict", item.verdict) +
                element("Reason", ("R" + n).c_str()) + "</Option></CheckType></Item>";
    }
    return text + "</CheckItems></SecurityCheckPolicy></TARN>";
}

std::string text_of(const XmlNode* node, const std::string& path) {
    const char* text = cutil_xml_get(node, "%s", path.c_str());
    return text != nullptr ? text : "(none)";
}

// "CheckResult UpdateFaultTime CheckScore ItemIDs-of-the-entries".
std::string summary(const XmlNode* result) {
    std::string ids;
    for (int i = 1; i <= cutil_xml_count(result, "TARN/Result"); ++i) {
        ids +=
            (i > 1 ? "," : "") + text_of(result, "TARN/Result[" + std::to_string(i) + "]/ItemID");
    }
    return text_of(result, "TARN/CheckResult") + " " + text_of(result, "TARN/UpdateFaultTime") +
           " " + text_of(result, "TARN/CheckScore") + " " + ids;
}

class Engine : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(plugin_.load(fake_path("QuarnSamplePlugin.dll")));
        configure("http://10.1.2.3:8080/portal", true);
        traces_.clear();
    }

    void configure(const char* web_url, bool download_folder) {
        config_.reset();
        if (web_url != nullptr) Call_TarnWriteConfig("WebUrl", web_url);
        if (download_folder) Call_TarnWriteConfig("ServerDownPath", fake_path("").c_str());
    }

    // Runs `check` on the policy, on a fake clock of 2024-03-20 10:00:00
    // (local) and `utc`; the result code and document.
    std::pair<int, XmlDocument> run(const std::string& policy_text,
                                    SecurityCheckNotify notify = nullptr,
                                    decltype(&DoSecurityCheck) check = DoSecurityCheck,
                                    os::DateTime utc = {2024, 3, 3, 20, 2, 0, 0, 0}) {
        policy_.reset(cutil_xml_import(policy_text.c_str(), "test", "run", __LINE__));
        os::seams::FakeClock clock;
        clock.local = {2024, 3, 3, 20, 10, 0, 0, 0};
        clock.utc = utc;
        clock.instant_sleep = false;
        os::seams::install_fake_clock(&clock);
        XmlNode* sentinel = policy_.get();
        XmlNode* result = sentinel;
        const int code = check(policy_.get(), &result, notify);
        os::seams::install_fake_clock(nullptr);
        EXPECT_NE(sentinel, result);
        return {code, XmlDocument(result)};
    }

    AssistantHome home_;
    FakeModule config_;
    FakeModule plugin_;
    TraceCapture traces_;
    XmlDocument policy_;
};

struct ScoreCase {
    const char* name;
    std::vector<Item> items;
    History history;
    const char* expected;          // summary()
    const char* traced = nullptr;  // the start of every error the check traces
};

// Verdicts and Key texts; `_` is an absent element.
const char* const Y = "Yes";
const char* const N = "No";
const char* const _ = nullptr;
const History kNoRepair{"0"};
const Item kFails{N, N, "40"};
const Item kPasses{Y, _, "60"};
const char kRefused[] = "插件名不是文件名，拒绝调用";

// clang-format off
const ScoreCase kScoreCases[] = {
    {"WorkedExample", {{Y, _, "30"}, {N, N, _}, {Y, Y, "50"}}, {}, "fault now 80 I1,I2,I3"},
    {"KeyThenNonKeyFailure", {{N, Y, "30"}, {N, N, "30"}, {Y, _, "40"}}, {},
     "false now 24 I1,I2,I3"},
    {"NonKeyThenKeyFailure", {{N, N, "30"}, {N, Y, "30"}, {Y, _, "40"}}, {},
     "false now 24 I1,I2,I3"},
    {"FailedKeyItemScoresSixty", {{N, Y, "30"}, {Y, _, "70"}}, {}, "false now 42 I1,I2"},
    {"SixtyTimesTheShareRoundedDown", {{N, Y, "1"}, {Y, _, "10"}}, {}, "false now 54 I1,I2"},
    {"LowerCaseYesFails", {{"yes", N, "50"}, {Y, _, "50"}}, kNoRepair, "fault now 50 I1,I2"},
    {"FailureWithoutKeyKeepsTheState", {{N, _, "50"}, {Y, _, "50"}}, {}, "success now 50 I1,I2"},
    {"ReplyWithoutVerdictPasses", {{_, Y, "50"}, {Y, _, "50"}}, {}, "success now 100 I1,I2"},
    {"ItemsWithoutDllOrFunctionAreIgnored",
     {{N, Y, "50", _}, {N, Y, "50", "CheckByOption", _}, kPasses}, {}, "success now 100 I3"},
    {"UncalledPluginKeepsItsWeight", {{Y, Y, "50", "NoSuchFunction"}, {Y, _, "50"}}, {},
     "success now 50 I2", "调用"},
    {"UnparsableReplyKeepsItsWeight", {{Y, Y, "50", "CheckGarbled"}, {Y, _, "50"}}, {},
     "success now 50 I2"},
    {"PluginNamesThatAreNoFileNamesAreRefused",
     {{Y, Y, "50", "CheckByOption", "..\\fakes\\QuarnSamplePlugin.dll"},
      {Y, Y, "50", "CheckByOption", "C:QuarnSamplePlugin.dll"}, {Y, _, "50"}},
     {}, "success now 33 I3", kRefused},
    {"ZeroWeightsAllPassing", {{Y, _, "0"}, {Y, N, "0"}}, {}, "success now 100 I1,I2"},
    {"ZeroWeightsWithAFailure", {{N, N, "0"}, {Y, _, "0"}}, {}, "fault now 0 I1,I2"},
    // The fault period after a non-key failure; today is 2024-03-20.
    {"NoRepairPeriod", {kFails, kPasses}, kNoRepair, "fault now 60 I1,I2"},
    {"RepairPeriodAbsent", {kFails, kPasses}, {_, "fault"}, "fault now 60 I1,I2"},
    {"RepairPeriodNegative", {kFails, kPasses}, {"-3", "fault"}, "fault now 60 I1,I2"},
    {"AfterAPassedCheck", {kFails, kPasses}, {"7", "SUCCESS"}, "fault now 60 I1,I2"},
    {"AfterAFalseCheckOfTheFaultsDay", {kFails, kPasses},
     {"7", "False", "2024-03-18 17:00:00", "2024-03-18 08:00:00"}, "fault now 60 I1,I2"},
    {"AfterAFalseCheckOfALaterDay", {kFails, kPasses},
     {"7", "false", "2024-03-19 09:00:00", "2024-03-18 08:00:00"}, "false none 36 I1,I2"},
    {"NoFaultOnRecord", {kFails, kPasses}, {"7", "fault", "x", "1970-01-01 00:00:00"},
     "fault now 60 I1,I2"},
    {"NoFaultTimeAtAll", {kFails, kPasses}, {"7", "fault", "x", _}, "fault now 60 I1,I2"},
    {"RepairPeriodOver", {kFails, kPasses}, {"7", "fault", "x", "2024-03-12 08:00:00"},
     "false none 36 I1,I2"},
    {"LastDayOfTheRepairPeriod", {kFails, kPasses}, {"7", "fault", "x", "2024-03-13 08:00:00"},
     "fault none 60 I1,I2"},
    {"NoPreviousVerdict", {kFails, kPasses}, {"7", _, "x", "2024-03-13 08:00:00"},
     "fault none 60 I1,I2"},
};
// clang-format on

class EngineScore : public Engine, public testing::WithParamInterface<ScoreCase> {};

TEST_P(EngineScore, JudgesItemsAndDecidesTheVerdict) {
    const ScoreCase& c = GetParam();
    const auto [code, result] = run(policy_text(c.items, c.history));
    ASSERT_EQ(1, code);
    EXPECT_EQ(c.expected, summary(result.get()));
    EXPECT_EQ("5", text_of(result.get(), "TARN/CheckUsedSecond"));  // the clock stood still
    const auto errors = traces_.find("DoSecurityCheck");
    EXPECT_EQ(c.traced == nullptr, errors.empty());
    for (const auto& error : errors) {
        EXPECT_EQ(1u, error.level);
        EXPECT_EQ(0u, error.message.rfind(c.traced != nullptr ? c.traced : "", 0)) << error.message;
    }
}

INSTANTIATE_TEST_SUITE_P(Items, EngineScore, testing::ValuesIn(kScoreCases),
                         [](const testing::TestParamInfo<ScoreCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

struct FailureCase {
    const char* name;
    const char* web_url;
    bool download_folder;
    std::vector<Item> items;
    int code;
    const char* traced;
};

#define HOST_16 "hhhhhhhhhhhhhhhh"
// clang-format off
const FailureCase kFailureCases[] = {
    {"NoWebUrl", _, true, {kPasses}, 0, "没有找到检查页面"},
    {"HostTooLongForItsBuffer", "http://" HOST_16 HOST_16 HOST_16 HOST_16 "/x", true, {kPasses}, 0,
     "没有找到检查页面"},
    {"NoItems", "http://h", true, {}, 0, "没有安全检查项"},
    {"NoPluginAnswered", "http://h", true, {{Y, Y, "50", "NoSuchFunction"}}, 0,
     "没有检查结果"},
    {"PluginWritesThroughNull", "http://h", true, {kPasses, {Y, N, "1", "CheckCrash"}}, 0,
     "DoSecurityCheck发生异常"},
    // Plug-ins then come from the assistant directory.
    {"NoDownloadFolder", "http://h", false, {kPasses}, 1,
     "取服务器的Download目录失败，检查可能会出问题"},
};
// clang-format on

class EngineFailure : public Engine, public testing::WithParamInterface<FailureCase> {};

// The module-call bridge and component below the engine hold the call's
// converted texts in the frames a faulting plug-in abandons, and those are
// lost with them. Leak checking pauses on the plug-in's thread (where the
// notice comes) from just before the faulting call; that thread then ends,
// and what the engine holds stays checked.

int QUARN_CDECL pause_leak_check_before_crash(XmlNode* node, int phase) {
    const char* function = cutil_xml_get(node, "CheckType/DLLFunc");
    if (phase == 1 && function != nullptr && std::string(function) == "CheckCrash") {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
    }
    return 0;
}

TEST_P(EngineFailure, TracesWhyAndHandsOutNothing) {
    const FailureCase& c = GetParam();
    ASSERT_TRUE(home_.add(fake_path("QuarnSamplePlugin.dll"), "QuarnSamplePlugin.dll"));
    configure(c.web_url, c.download_folder);
    traces_.clear();
    const auto [code, result] = run(policy_text(c.items, {}), pause_leak_check_before_crash);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.code == 1, result != nullptr);
    const auto errors = traces_.find("DoSecurityCheck", c.traced);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(1u, errors[0].level);
    EXPECT_EQ("QuarnAssSecurityCheck.cpp", errors[0].source);

    // The process and the engine carry on.
    configure("http://h", true);
    EXPECT_EQ(1, run(policy_text({kPasses}, {})).first);
}

INSTANTIATE_TEST_SUITE_P(Checks, EngineFailure, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

std::vector<std::string> g_notified;

int QUARN_CDECL notify(XmlNode* node, int phase) {
    const char* server = cutil_xml_get(node, "CheckType/Option/ServerIp");
    g_notified.push_back(std::string(node->name) + " " + std::to_string(phase) +
                         (server != nullptr ? std::string(" ") + server : ""));
    os::seams::advance_fake_clock(3000);
    return 0;
}

std::string exported(const XmlNode* document) {
    std::string text(static_cast<std::size_t>(cutil_xml_export(document, nullptr, 0)), '\0');
    cutil_xml_export(document, &text[0], static_cast<int>(text.size()));
    return text;
}

TEST_F(Engine, TellsTheServerToPluginsNotifiesAndBuildsTheResultInOrder) {
    const std::string policy =
        "<TARN><SecurityCheckPolicy><CheckItems>"
        "<Item><ItemID>A</ItemID><Key>No</Key><CheckType><DLL>QuarnSamplePlugin.dll</DLL>"
        "<DLLFunc>CheckByOption</DLLFunc><Option><ServerIp>0.0.0.0</ServerIp><Verdict>Yes"
        "</Verdict></Option></CheckType></Item>"
        "<Item><ItemID>B</ItemID><CheckType><DLL>QuarnSamplePlugin.dll</DLL><DLLFunc>None"
        "</DLLFunc></CheckType></Item></CheckItems></SecurityCheckPolicy></TARN>";
    g_notified.clear();
    const auto [code, result] = run(policy, notify);
    ASSERT_EQ(1, code);
    EXPECT_EQ((std::vector<std::string>{"CheckType 1 10.1.2.3", "Result 0", "CheckType 1"}),
              g_notified);

    const XmlDocument expected(cutil_xml_import(
        "<TARN><Result><ItemID>A</ItemID><Key>No</Key><CheckType><Result>Yes</Result>"
        "</CheckType></Result><UpdateFaultTime>now</UpdateFaultTime><CheckResult>success"
        "</CheckResult><CheckScore>50</CheckScore><CheckUsedSecond>9</CheckUsedSecond></TARN>",
        "test", "expected", __LINE__));
    EXPECT_EQ(exported(expected.get()), exported(result.get()));
    const std::string option = "TARN/SecurityCheckPolicy/CheckItems/Item/CheckType/Option/";
    EXPECT_EQ("10.1.2.3 8080", text_of(policy_.get(), option + "ServerIp") + " " +
                                   text_of(policy_.get(), option + "ServerPort"));

    // The plug-in received the item's CheckType as text, header first.
    const auto calls = plugin_.calls_of("CheckByOption");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(0u, calls[0].arguments.rfind("<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n"
                                           "<CheckType>\r\n\t<DLL>QuarnSamplePlugin.dll</DLL>",
                                           0))
        << calls[0].arguments;
    EXPECT_NE(std::string::npos, calls[0].arguments.find("<ServerPort>8080</ServerPort>"));

    // Started 23:59:58 UTC, ended after midnight: the shortest time.
    const auto [late, late_result] =
        run(policy, notify, DoSecurityCheck, {2024, 3, 3, 20, 23, 59, 58});
    ASSERT_EQ(1, late);
    EXPECT_EQ("5", text_of(late_result.get(), "TARN/CheckUsedSecond"));
}

int g_calls_made = 0;
std::uint32_t g_call_ms = 0;  // time on the fake clock at each notice (two per call)

int QUARN_CDECL count_and_take_time(XmlNode*, int phase) {
    if (phase == 1) ++g_calls_made;
    os::seams::advance_fake_clock(g_call_ms);
    return 0;
}

// A check bounded for a server that keeps it waiting: a failed plug-in call
// is not made again for a later item, and past the time budget the check
// is abandoned with nothing handed out.
TEST_F(Engine, NeitherRetriesAFailedCallNorRunsPastItsBudget) {
    const Item missing{Y, Y, "10", "NoSuchFunction"};
    g_calls_made = 0;
    g_call_ms = 0;
    const auto [code, result] =
        run(policy_text({missing, missing, kPasses, missing}, {}), count_and_take_time);
    EXPECT_EQ(1, code);
    EXPECT_EQ(2, g_calls_made);
    EXPECT_EQ(2u, traces_.find("DoSecurityCheck", "本次检查中调用").size());

    g_calls_made = 0;
    g_call_ms = 31 * 1000;  // 62 s a call: the three-minute budget is spent after three
    EXPECT_EQ(
        0, run(policy_text({kPasses, kPasses, kPasses, kPasses, kPasses}, {}), count_and_take_time)
               .first);
    EXPECT_EQ(3, g_calls_made);
    EXPECT_EQ(1u, traces_.find("DoSecurityCheck", "安全检查超过180秒").size());
}

// Inside an admission pass with this much of its budget left.
std::uint32_t g_pass_left_ms = 100 * 1000;
int QUARN_CDECL check_late_in_a_pass(XmlNode* policy, XmlNode** result,
                                     SecurityCheckNotify notify) {
    autocheck::pass_begin();
    os::seams::advance_fake_clock(autocheck::kPassBudgetMs - g_pass_left_ms);
    const int code = DoSecurityCheck(policy, result, notify);
    autocheck::pass_end();
    return code;
}

// Two checks of one pass, as a check and its re-check.
int QUARN_CDECL check_twice_in_a_pass(XmlNode* policy, XmlNode** result,
                                      SecurityCheckNotify notify) {
    autocheck::pass_begin();
    DoSecurityCheck(policy, nullptr, notify);
    const int code = DoSecurityCheck(policy, result, notify);
    autocheck::pass_end();
    return code;
}

// The pass's budget ends a check that has its own time left, and a module
// the pass could not download is not asked for again by its later check.
TEST_F(Engine, StaysWithinItsAdmissionPass) {
    g_calls_made = 0;
    g_call_ms = 31 * 1000;
    EXPECT_EQ(0, run(policy_text({kPasses, kPasses, kPasses}, {}), count_and_take_time,
                     check_late_in_a_pass)
                     .first);
    EXPECT_EQ(2, g_calls_made);
    EXPECT_EQ(1u, traces_.find("DoSecurityCheck", "本次准入超过480秒").size());

    configure("http://10.1.2.3:8080/portal", false);
    Call_TarnWriteConfig("ServerDownPath", "http://127.0.0.1:9/download/");  // nothing listens
    g_calls_made = 0;
    g_call_ms = 0;
    run(policy_text({kPasses}, {}), count_and_take_time, check_twice_in_a_pass);
    EXPECT_EQ(1, g_calls_made);
    EXPECT_EQ(1u, traces_.find("DoSecurityCheck", "本次准入中下载").size());
}

// A plug-in that has not returned when the time left is over ends the check
// there; while it still runs it is not called again, afterwards it is.
TEST_F(Engine, LeavesAPluginThatDoesNotReturnBehind) {
    ASSERT_TRUE(home_.add(fake_path("QuarnSamplePlugin.dll"), "QuarnSamplePlugin.dll"));
    const Item hangs{Y, _, "50", "CheckHang"};  // for a second
    g_calls_made = 0;
    g_call_ms = 0;
    g_pass_left_ms = 200;
    EXPECT_EQ(
        0, run(policy_text({hangs, kPasses}, {}), count_and_take_time, check_late_in_a_pass).first);
    g_pass_left_ms = 100 * 1000;
    EXPECT_EQ(1, g_calls_made);
    EXPECT_EQ(
        1u,
        traces_.find("DoSecurityCheck", "调用QuarnSamplePlugin.dll的CheckHang超过检查时间").size());

    const auto [code, result] = run(policy_text({hangs, kPasses}, {}), count_and_take_time);
    EXPECT_EQ(1, code);
    EXPECT_EQ("success now 54 I2", summary(result.get()));  // the first keeps its weight
    EXPECT_EQ(2, g_calls_made);
    EXPECT_EQ(1u,
              traces_.find("DoSecurityCheck", "调用QuarnSamplePlugin.dll的CheckHang上次还没有返回")
                  .size());

    for (int i = 0; i < 50 && g_calls_made < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        run(policy_text({hangs}, {}), count_and_take_time);
    }
    EXPECT_EQ(4, g_calls_made) << "called again once it returned";
}

// The fault is the point: the sanitizers must not report it first.
__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) void write_through_null(
    void*) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

TEST_F(Engine, ProductExportsTheEngineUndecorated) {
    // The test's own guard is in place first: the product's comes in front of it.
    os::fault_guard([](void*) {}, nullptr);
    const os::Handle product = os::module_load((program_dir() + "QuarnAssAutoCheck.dll").c_str());
    ASSERT_NE(nullptr, product);
    const auto exported_check =
        reinterpret_cast<decltype(&DoSecurityCheck)>(os::module_symbol(product, "DoSecurityCheck"));
    ASSERT_NE(nullptr, exported_check);
    const auto [code, result] = run(policy_text(kScoreCases[0].items, {}), nullptr, exported_check);
    EXPECT_EQ(1, code);
    EXPECT_EQ(kScoreCases[0].expected, summary(result.get()));
    // Its fault guard registered an exception handler of its own: that goes
    // with the module, and a guard of the process keeps working.
    EXPECT_TRUE(os::module_free(product));
    EXPECT_EQ(os::Fault::kAccessViolation, os::fault_guard(write_through_null, nullptr));
}

}  // namespace
