// CheckRegistry against values this test writes with the system's reg.exe.
// POSIX has no registry: every item that gets as far as reading it is "No".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/process.h"
#include "support/system_tool.h"
#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;

#ifdef _WIN32
constexpr bool kHasRegistry = true;
#else
constexpr bool kHasRegistry = false;
#endif

// {k}: the test's key under HKCU. Each row reads the registry.
const PluginRow kReadRows[] = {
    {"KeyExists", "<RegKey>{k}</RegKey>", "Yes", "存在"},
    {"LongRootName", "<RegKey>HKEY_CURRENT_USER\\{sub}</RegKey>", "Yes", "存在"},
    {"KeyMissing", "<RegKey>{k}\\Absent</RegKey>", "No", "不存在"},
    {"KeyMissingMustNot", "<RegKey>{k}\\Absent</RegKey><Exist>No</Exist>", "Yes", "不存在"},
    {"ValueExists", "<RegKey>{k}</RegKey><ValueName>Text</ValueName>", "Yes", "存在"},
    {"ValueMissing", "<RegKey>{k}</RegKey><ValueName>Absent</ValueName>", "No", "不存在"},
    {"ValueMustNot", "<RegKey>{k}</RegKey><ValueName>Text</ValueName><Exist>No</Exist>", "No",
     "要求不存在"},
    {"TextEquals", "<RegKey>{k}</RegKey><ValueName>Text</ValueName><Value>甲乙 text</Value>", "Yes",
     "的值为 甲乙 text"},
    {"TextDiffers", "<RegKey>{k}</RegKey><ValueName>Text</ValueName><Value>甲乙</Value>", "No",
     "要求为 甲乙"},
    {"NumberEquals", "<RegKey>{k}</RegKey><ValueName>Number</ValueName><Value>42</Value>", "Yes",
     "的值为 42"},
    {"NumberInHex", "<RegKey>{k}</RegKey><ValueName>Number</ValueName><Value>0x2A</Value>", "Yes",
     "的值为 42"},
    {"NumberDiffers", "<RegKey>{k}</RegKey><ValueName>Number</ValueName><Value>43</Value>", "No",
     "的值为 42，要求为 43"},
    {"NumberNotANumber", "<RegKey>{k}</RegKey><ValueName>Number</ValueName><Value>x</Value>", "No",
     "不是数字"},
    {"BinaryCannotCompare", "<RegKey>{k}</RegKey><ValueName>Blob</ValueName><Value>01</Value>",
     "No", "类型不能"},
};

// Rows judged before the registry is read: the same on every platform.
const PluginRow kOptionRows[] = {
    {"KeyOptionMissing", "<ValueName>Text</ValueName>", "No", "缺少选项 RegKey"},
    {"UnknownRoot", "<RegKey>HKXX\\Software</RegKey>", "No", "不是有效的注册表项"},
    {"DoubledSeparator", "<RegKey>HKCU\\\\Software</RegKey>", "No", "不是有效的注册表项"},
    {"ValueWithoutName", "<RegKey>{k}</RegKey><Value>1</Value>", "No", "需要选项 ValueName"},
    {"ValueMustNotExist",
     "<RegKey>{k}</RegKey><ValueName>Text</ValueName><Value>1</Value><Exist>No</Exist>", "No",
     "选项 Value 只能"},
};

// Runs the system's reg.exe; its exit code, -1 on failure.
int reg(std::vector<const char*> arguments) {
    return quarn::test::run_system_tool("reg.exe", std::move(arguments));
}

class CheckRegistry : public testing::TestWithParam<PluginRow> {
  protected:
    static void SetUpTestSuite() {
        if (!kHasRegistry) return;
        const char* key = key_.c_str();
        ASSERT_EQ(0, reg({"add", key, "/v", "Text", "/d", "甲乙 text", "/f"}));
        ASSERT_EQ(0, reg({"add", key, "/v", "Number", "/t", "REG_DWORD", "/d", "42", "/f"}));
        ASSERT_EQ(0, reg({"add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", "01", "/f"}));
    }
    static void TearDownTestSuite() {
        if (kHasRegistry) reg({"delete", key_.c_str(), "/f"});
    }
    static PluginReply call(const PluginRow& row) {
        const std::string options = filled(row.options, {{"k", key_}, {"sub", subkey_}});
        return call_plugin("QuarnCheckRegistry.dll", "CheckRegistry",
                           check_type("QuarnCheckRegistry.dll", "CheckRegistry", options).c_str());
    }
    static inline const std::string subkey_ =
        "Software\\QuarnPluginTest" + std::to_string(os::process_id());
    static inline const std::string key_ = "HKCU\\" + subkey_;
};
using CheckRegistryOptions = CheckRegistry;

TEST_P(CheckRegistry, JudgesTheRegistry) {
    const PluginRow& row = GetParam();
    const PluginRow unsupported{row.name, "", "No", "本系统没有注册表"};
    const PluginReply reply = call(row);
    EXPECT_PLUGIN_REPLY(kHasRegistry ? row : unsupported, reply);
}

TEST_P(CheckRegistryOptions, AreJudgedBeforeTheRegistryIsRead) {
    const PluginReply reply = call(GetParam());
    EXPECT_PLUGIN_REPLY(GetParam(), reply);
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckRegistry, testing::ValuesIn(kReadRows), row_name);
INSTANTIATE_TEST_SUITE_P(Rows, CheckRegistryOptions, testing::ValuesIn(kOptionRows), row_name);

}  // namespace
