// CheckOsVersion against this machine's version: versions below, equal to
// and above it.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "os/machine.h"
#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;

const PluginRow kRows[] = {
    {"Older", "<MinVersion>1.0</MinVersion>", "Yes", "不低于 1.0"},
    {"Same", "<MinVersion>{same}</MinVersion>", "Yes", "不低于"},
    {"SameWithZeros", "<MinVersion>{same}.0</MinVersion>", "Yes", "不低于"},
    {"NextMajor", "<MinVersion>{next}</MinVersion>", "No", "低于要求的"},
    {"OneMorePart", "<MinVersion>{same}.1</MinVersion>", "No", "低于要求的"},
    {"Missing", "<ServerIp>10.0.0.1</ServerIp>", "No", "缺少选项 MinVersion"},
    {"Words", "<MinVersion>Windows 7</MinVersion>", "No", "不是有效的版本号"},
    {"TrailingDot", "<MinVersion>6.</MinVersion>", "No", "不是有效的版本号"},
    {"EmptyPart", "<MinVersion>6..1</MinVersion>", "No", "不是有效的版本号"},
    {"FiveParts", "<MinVersion>1.2.3.4.5</MinVersion>", "No", "不是有效的版本号"},
    {"PartTooLong", "<MinVersion>1234567890</MinVersion>", "No", "不是有效的版本号"},
};

class CheckOsVersion : public testing::TestWithParam<PluginRow> {};

TEST_P(CheckOsVersion, ComparesWithThisMachine) {
    const PluginRow& row = GetParam();
    // The machine's version: the leading numbers of the release, at most three
    // here so that "{same}.1" stays a valid four-part version.
    std::string release;
    ASSERT_TRUE(os::system_release(&release));
    std::smatch numbers;
    ASSERT_TRUE(std::regex_search(release, numbers, std::regex("^(\\d+)(\\.\\d+){0,2}")))
        << release;
    const std::string same = numbers[0];
    const std::string next = std::to_string(std::stoul(numbers[1].str()) + 1);
    const std::string options = filled(row.options, {{"same", same}, {"next", next}});
    const PluginReply reply =
        call_plugin("QuarnCheckOsVersion.dll", "CheckOsVersion",
                    check_type("QuarnCheckOsVersion.dll", "CheckOsVersion", options).c_str());
    EXPECT_PLUGIN_REPLY(row, reply);
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckOsVersion, testing::ValuesIn(kRows), row_name);

}  // namespace
