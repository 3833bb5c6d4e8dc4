// CheckRegistry against values this test writes with the system's reg.exe.
// POSIX has no registry: every item that reaches it is answered "No".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/process.h"
#include "os/system.h"
#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;

constexpr bool kHasRegistry =
#ifdef _WIN32
    true;
#else
    false;
#endif

// Runs the system's reg.exe with `arguments`; its exit code, -1 on failure.
int reg(std::vector<const char*> arguments) {
    char folder[512];
    os::system_directory(folder, sizeof folder);
    arguments.push_back(nullptr);
    const os::Handle process =
        os::process_spawn((std::string(folder) + "\\reg.exe").c_str(), arguments.data());
    std::uint32_t code = 0;
    const bool ended = process != nullptr && os::handle_wait(process, 30000) &&
                       os::process_exit_code(process, &code);
    os::handle_close(process);
    return ended ? static_cast<int>(code) : -1;
}

// `option_error` rows are judged before the registry is read, so they read
// the same everywhere.
struct RegistryRow {
    PluginRow row;
    bool option_error;
};

const RegistryRow kRows[] = {
    {{"KeyExists", "<RegKey>HKCU\\{key}</RegKey>", "Yes", "存在"}, false},
    {{"LongRootName", "<RegKey>HKEY_CURRENT_USER\\{key}</RegKey>", "Yes", "存在"}, false},
    {{"KeyMissing", "<RegKey>hkcu\\{key}\\Absent</RegKey>", "No", "不存在"}, false},
    {{"KeyMissingMustNot", "<RegKey>HKCU\\{key}\\Absent</RegKey><Exist>No</Exist>", "Yes",
      "不存在"},
     false},
    {{"ValueExists", "<RegKey>HKCU\\{key}</RegKey><ValueName>Text</ValueName>", "Yes", "存在"},
     false},
    {{"ValueMissing", "<RegKey>HKCU\\{key}</RegKey><ValueName>Absent</ValueName>", "No", "不存在"},
     false},
    {{"ValueExistsMustNot",
      "<RegKey>HKCU\\{key}</RegKey><ValueName>Text</ValueName><Exist>No</Exist>", "No",
      "要求不存在"},
     false},
    {{"TextEquals",
      "<RegKey>HKCU\\{key}</RegKey><ValueName>Text</ValueName><Value>甲乙 text</Value>", "Yes",
      "的值为 甲乙 text"},
     false},
    {{"TextDiffers", "<RegKey>HKCU\\{key}</RegKey><ValueName>Text</ValueName><Value>甲乙</Value>",
      "No", "要求为 甲乙"},
     false},
    {{"NumberEquals", "<RegKey>HKCU\\{key}</RegKey><ValueName>Number</ValueName><Value>42</Value>",
      "Yes", "的值为 42"},
     false},
    {{"NumberInHex", "<RegKey>HKCU\\{key}</RegKey><ValueName>Number</ValueName><Value>0x2A</Value>",
      "Yes", "的值为 42"},
     false},
    {{"NumberDiffers", "<RegKey>HKCU\\{key}</RegKey><ValueName>Number</ValueName><Value>43</Value>",
      "No", "的值为 42，要求为 43"},
     false},
    {{"BinaryCannotCompare",
      "<RegKey>HKCU\\{key}</RegKey><ValueName>Blob</ValueName><Value>0102</Value>", "No",
      "类型不能"},
     false},
    {{"NumberNotANumber",
      "<RegKey>HKCU\\{key}</RegKey><ValueName>Number</ValueName><Value>forty</Value>", "No",
      "不是数字"},
     false},
    {{"KeyOptionMissing", "<ValueName>Text</ValueName>", "No", "缺少选项 RegKey"}, true},
    {{"UnknownRoot", "<RegKey>HKXX\\Software</RegKey>", "No", "不是有效的注册表项"}, true},
    {{"DoubledSeparator", "<RegKey>HKCU\\\\Software</RegKey>", "No", "不是有效的注册表项"}, true},
    {{"ValueWithoutName", "<RegKey>HKCU\\{key}</RegKey><Value>1</Value>", "No",
      "需要选项 ValueName"},
     true},
    {{"ValueButMustNotExist",
      "<RegKey>HKCU\\{key}</RegKey><ValueName>Text</ValueName><Value>1</Value><Exist>No</Exist>",
      "No", "选项 Value 只能"},
     true},
};

class CheckRegistry : public testing::TestWithParam<RegistryRow> {
  protected:
    static void SetUpTestSuite() {
        if (!kHasRegistry) return;
        const std::string key = "HKCU\\" + key_;
        ASSERT_EQ(0, reg({"add", key.c_str(), "/v", "Text", "/d", "甲乙 text", "/f"}));
        ASSERT_EQ(0,
                  reg({"add", key.c_str(), "/v", "Number", "/t", "REG_DWORD", "/d", "42", "/f"}));
        ASSERT_EQ(0,
                  reg({"add", key.c_str(), "/v", "Blob", "/t", "REG_BINARY", "/d", "0102", "/f"}));
    }
    static void TearDownTestSuite() {
        if (kHasRegistry) reg({"delete", ("HKCU\\" + key_).c_str(), "/f"});
    }
    static inline const std::string key_ =
        "Software\\QuarnPluginTest" + std::to_string(os::process_id());
};

TEST_P(CheckRegistry, JudgesTheRegistry) {
    const auto& [row, option_error] = GetParam();
    const std::string options = filled(row.options, {{"key", key_}});
    const PluginReply reply =
        call_plugin("QuarnCheckRegistry.dll", "CheckRegistry",
                    check_type("QuarnCheckRegistry.dll", "CheckRegistry", options).c_str());
    if (kHasRegistry || option_error) {
        EXPECT_PLUGIN_REPLY(row, reply);
    } else {
        EXPECT_PLUGIN_REPLY((PluginRow{row.name, "", "No", "本系统没有注册表"}), reply);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckRegistry, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<RegistryRow>& row_info) {
                             return std::string(row_info.param.row.name);
                         });

}  // namespace
