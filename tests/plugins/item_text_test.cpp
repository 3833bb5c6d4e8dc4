// What every plug-in answers to an item text it cannot use: a "No" with the
// reason, in the reply layout the check engine reads.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;

struct Module {
    const char* file;
    const char* function;
};

const Module kModules[] = {
    {"QuarnCheckProcess.dll", "CheckProcess"},
    {"QuarnCheckFile.dll", "CheckFile"},
    {"QuarnCheckRegistry.dll", "CheckRegistry"},
    {"QuarnCheckOsVersion.dll", "CheckOsVersion"},
};

// `options` null: no argument at all; "!" prefix: the text as it stands.
const PluginRow kRows[] = {
    {"NoArgument", nullptr, "No", "检查项参数不是有效的XML"},
    {"NotXml", "!just words", "No", "检查项参数不是有效的XML"},
    {"OtherRoot", "!<Item><Option><X>1</X></Option></Item>", "No", "缺少CheckType元素"},
    {"TwoOptionElements", "!<CheckType><Option/><Option/></CheckType>", "No", "多个Option元素"},
    {"NoOptionElement", "!<CheckType><DLL>x.dll</DLL></CheckType>", "No", "缺少选项"},
    {"UnknownOption", "<Colour>红</Colour>", "No", "未知的选项 Colour"},
};

class ItemText : public testing::TestWithParam<std::tuple<Module, PluginRow>> {};

TEST_P(ItemText, IsAnsweredNoWithTheReason) {
    const auto& [module, row] = GetParam();
    std::string argument;
    if (row.options != nullptr) {
        argument = row.options[0] == '!' ? row.options + 1
                                         : check_type(module.file, module.function, row.options);
    }
    const PluginReply reply =
        call_plugin(module.file, module.function, row.options ? argument.c_str() : nullptr);
    EXPECT_PLUGIN_REPLY(row, reply);
    EXPECT_EQ(0u, reply.text.find("<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<Result>\r\n"
                                  "\t<CheckType>\r\n\t\t<Result>No</Result>\r\n"))
        << reply.text;
}

INSTANTIATE_TEST_SUITE_P(Plugins, ItemText,
                         testing::Combine(testing::ValuesIn(kModules), testing::ValuesIn(kRows)),
                         [](const testing::TestParamInfo<ItemText::ParamType>& row_info) {
                             return std::string(std::get<0>(row_info.param).function) + "_" +
                                    std::get<1>(row_info.param).name;
                         });

}  // namespace
