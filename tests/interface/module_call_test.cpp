// CallOneModuleFuncA through the real module-call component and a real
// check-item plug-in.
#include "interface/module_call.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

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

using namespace quarn::test;

class ModuleCall : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        ASSERT_TRUE(plugin_.load(plugin_path_));
        traces_.clear();
    }

    // The result code, then the text handed back or "(none)".
    static std::pair<int, std::string> call(const std::string& module, const char* argument,
                                            const char* function = "CheckSample") {
        char* text = nullptr;
        const int code = CallOneModuleFuncA(module.c_str(), argument, function, &text);
        const std::string given = text != nullptr ? text : "(none)";
        std::free(text);  // the standard library heap, as the contract says
        return {code, given};
    }

    AssistantHome home_;
    const std::string plugin_path_ = fake_path("QuarnSamplePlugin.dll");
    FakeModule plugin_;
    TraceCapture traces_;
};

TEST_F(ModuleCall, PluginReceivesTheArgumentAndItsAnswerComesBack) {
    const std::string argument = "<CheckType><DLL>甲乙.dll</DLL></CheckType>";
    EXPECT_EQ(
        std::make_pair(1, "<Result><CheckType><Result>Yes</Result><Length>" +
                              std::to_string(argument.size()) + "</Length></CheckType></Result>"),
        call(plugin_path_, argument.c_str()));
    EXPECT_EQ(1, call(plugin_path_, nullptr).first);  // reaches the plug-in as null
    plugin_.answer("CheckSample", 5, "网络不通");     // a failure, with its text
    const auto [failed, why] = call(plugin_path_, "<a/>");
    EXPECT_EQ(0, failed);
    EXPECT_GBK_EQ("网络不通", why);
    plugin_.answer("CheckSample", 0, nullptr);  // success without a text
    EXPECT_EQ(std::make_pair(1, std::string("(none)")), call(plugin_path_, "<a/>"));

    const auto calls = plugin_.calls_of("CheckSample");
    ASSERT_EQ(4u, calls.size());
    EXPECT_GBK_EQ(argument, calls[0].arguments);  // unchanged through the wide form
    EXPECT_EQ("(null)", calls[1].arguments);
}

#ifdef _WIN32
constexpr char kLibraryFunction[] = "GetCurrentProcessId";
#else
constexpr char kLibraryFunction[] = "getpid";  // harmless when it is called
#endif

TEST_F(ModuleCall, ModulesThatCannotBeCalledFailWithATextSayingWhy) {
    const std::pair<std::string, const char*> cases[] = {
        {plugin_path_, "NoSuchFunction"},
        // Reachable from the plug-in through its dependencies, not its own.
        {plugin_path_, kLibraryFunction},
        {home_.dir() + "NoSuchModule.dll", "CheckSample"},
        // Resolves to the real plug-in, but climbs out of a folder on the way.
        {fake_path("..") + "\\fakes\\QuarnSamplePlugin.dll", "CheckSample"},
        {"http://10.0.0.1/download/QuarnSamplePlugin.dll", "CheckSample"},
        {"http://10.0.0.1/download/..\\..\\evil.dll", "CheckSample"},
    };
    for (const auto& [module, function] : cases) {
        SCOPED_TRACE(module);
        const auto [code, why] = call(module, "<a/>", function);
        EXPECT_EQ(0, code);
        EXPECT_NE("(none)", why);
    }
    EXPECT_TRUE(plugin_.calls().empty());
}

TEST_F(ModuleCall, MissingNamesAreTracedAndNothingIsCalledOrStored) {
    char* sentinel = reinterpret_cast<char*>(&traces_);
    char* text = sentinel;
    EXPECT_EQ(0, CallOneModuleFuncA(nullptr, "<a/>", "CheckSample", &text));
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
    TraceCapture traces;
    char* text = nullptr;
    if (CallOneModuleFuncA("x.dll", nullptr, "f", &text) != 0) return 1;
    if (traces.find("CallOneModuleFuncA", "加载QuarnActivex.dll失败").size() != 1) return 2;
    // Without the export: a module of that name that lacks it.
    if (!home.add(fake_without_exports_path("QuarnCommon.dll"), "QuarnActivex.dll")) return 3;
    if (CallOneModuleFuncA("x.dll", nullptr, "f", &text) != 0) return 4;
    if (traces.find("CallOneModuleFuncA", "取函数CallOneModuleFunc地址失败").size() != 1) return 5;
    return 0;
}

TEST(ModuleCallComponent, MissingComponentOrExportIsTracedAndRetriedLater) {
    EXPECT_EQ(0, wait_helper(spawn_helper("module_call_without_component")));
}

}  // namespace
