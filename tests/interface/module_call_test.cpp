// CallOneModuleFuncA through the real module-call component and a real
// check-item plug-in.
#include "interface/module_call.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/text.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using quarn::test::AssistantHome;
using quarn::test::FakeModule;

struct Result {
    int code = -1;
    std::string text;
    bool text_given = false;
};

Result call(const std::string& module, const char* argument, const char* function) {
    char* text = nullptr;
    Result r;
    r.code = CallOneModuleFuncA(module.c_str(), argument, function, &text);
    if (text != nullptr) {
        r.text = text;
        r.text_given = true;
        std::free(text);  // the standard library heap, as the contract says
    }
    return r;
}

class ModuleCall : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(quarn::test::program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(plugin_.load(quarn::test::fake_path("QuarnSamplePlugin.dll")));
        plugin_path_ = quarn::test::fake_path("QuarnSamplePlugin.dll");
        traces_.clear();
    }

    AssistantHome home_;
    FakeModule plugin_;
    std::string plugin_path_;
    quarn::test::TraceCapture traces_;
};

TEST_F(ModuleCall, PluginReceivesTheArgumentAndItsReplyComesBack) {
    const char* argument = "<CheckType><DLL>甲乙.dll</DLL></CheckType>";
    const Result r = call(plugin_path_, argument, "CheckSample");
    EXPECT_EQ(1, r.code);
    const auto calls = plugin_.calls_of("CheckSample");
    ASSERT_EQ(1u, calls.size());
    EXPECT_GBK_EQ(argument, calls[0].arguments);  // unchanged through the wide form
    EXPECT_EQ("<Result><CheckType><Result>Yes</Result><Length>" +
                  std::to_string(std::string(argument).size()) + "</Length></CheckType></Result>",
              r.text);
}

TEST_F(ModuleCall, NoArgumentReachesThePluginAsNull) {
    EXPECT_EQ(1, call(plugin_path_, nullptr, "CheckSample").code);
    EXPECT_EQ("(null)", plugin_.calls_of("CheckSample").at(0).arguments);
}

TEST_F(ModuleCall, PluginFailureGivesZeroWithItsErrorText) {
    plugin_.answer("CheckSample", 5, "网络不通");
    const Result r = call(plugin_path_, "<a/>", "CheckSample");
    EXPECT_EQ(0, r.code);
    EXPECT_GBK_EQ("网络不通", r.text);
}

TEST_F(ModuleCall, PluginWithoutReplyGivesNullText) {
    plugin_.answer("CheckSample", 0, nullptr);
    const Result r = call(plugin_path_, "<a/>", "CheckSample");
    EXPECT_EQ(1, r.code);
    EXPECT_FALSE(r.text_given);
}

TEST_F(ModuleCall, ModulesThatCannotBeCalledFailWithATextSayingWhy) {
    struct Case {
        std::string module;
        const char* function;
    };
    const Case cases[] = {
        {plugin_path_, "NoSuchFunction"},
        {home_.dir() + "NoSuchModule.dll", "CheckSample"},
        // Resolves to the real plug-in, but climbs out of a folder on the way.
        {quarn::test::fake_path("..") + "\\fakes\\QuarnSamplePlugin.dll", "CheckSample"},
        {"http://10.0.0.1/download/QuarnSamplePlugin.dll", "CheckSample"},
        {"http://10.0.0.1/download/..\\..\\evil.dll", "CheckSample"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        const Result r = call(c.module, "<a/>", c.function);
        EXPECT_EQ(0, r.code);
        EXPECT_TRUE(r.text_given);
    }
    EXPECT_TRUE(plugin_.calls().empty());
}

TEST_F(ModuleCall, MissingNamesAreTracedAndNothingIsCalledOrStored) {
    char* sentinel = reinterpret_cast<char*>(&traces_);
    char* text = sentinel;
    EXPECT_EQ(0, CallOneModuleFuncA(nullptr, "<a/>", "CheckSample", &text));
    EXPECT_EQ(sentinel, text);
    EXPECT_EQ(0, CallOneModuleFuncA(plugin_path_.c_str(), "<a/>", nullptr, &text));
    EXPECT_EQ(sentinel, text);
    EXPECT_EQ(0, CallOneModuleFuncA(plugin_path_.c_str(), "<a/>", "CheckSample", nullptr));
    EXPECT_TRUE(plugin_.calls().empty());
    EXPECT_EQ(1u, traces_.find("CallOneModuleFuncA", "没有指定模块路径").size());
    EXPECT_EQ(1u, traces_.find("CallOneModuleFuncA", "没有指定方法名称").size());
}

TEST_F(ModuleCall, ComponentConvertsWideTextsThroughTheSystemCodePage) {
    // Called as its wide-text callers do: the plug-in must see GBK "甲" (BC D7),
    // which only the Chinese system code page yields from U+7532.
    const os::Handle component = os::module_load(home_.path("QuarnActivex.dll").c_str());
    ASSERT_NE(nullptr, component);
    const auto call_one = reinterpret_cast<sibling::CallOneModuleFuncFunction>(
        os::module_symbol(component, "CallOneModuleFunc"));
    ASSERT_NE(nullptr, call_one);
    std::u16string path(plugin_path_.size() + 1, u'\0');
    ASSERT_NE(static_cast<std::size_t>(-1),
              os::acp_to_wide(plugin_path_.c_str(), &path[0], path.size()));
    char16_t* result = nullptr;
    EXPECT_EQ(0, call_one(u"", path.c_str(), u"CheckSample", u"<a>\u7532</a>", &result));
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(u'<', result[0]);
    os::global_free(result);
    EXPECT_EQ("<a>\xbc\xd7</a>", plugin_.calls_of("CheckSample").at(0).arguments);
    os::module_free(component);
}

// In a fresh process: the component is only ever loaded once per process.
QUARN_TEST_HELPER(module_call_without_component) {
    AssistantHome home;  // empty: no QuarnActivex.dll
    quarn::test::TraceCapture traces;
    char* text = nullptr;
    if (CallOneModuleFuncA("x.dll", nullptr, "f", &text) != 0) return 1;
    if (traces.find("CallOneModuleFuncA", "加载QuarnActivex.dll失败").size() != 1) return 2;
    // Without the export: a module of that name that lacks it.
    if (!home.add(quarn::test::fake_without_exports_path("QuarnCommon.dll"), "QuarnActivex.dll")) {
        return 3;
    }
    if (CallOneModuleFuncA("x.dll", nullptr, "f", &text) != 0) return 4;
    if (traces.find("CallOneModuleFuncA", "取函数CallOneModuleFunc地址失败").size() != 1) return 5;
    return 0;
}

TEST(ModuleCallComponent, MissingComponentOrExportIsTracedAndRetriedLater) {
    EXPECT_EQ(0,
              quarn::test::wait_helper(quarn::test::spawn_helper("module_call_without_component")));
}

}  // namespace
