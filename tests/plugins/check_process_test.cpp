// CheckProcess against the processes of this machine: the test program
// itself runs, a made-up name does not.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "os/module.h"
#include "os/process.h"
#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;

std::string executable_name() {
    char path[1024];
    os::module_executable_path(path, sizeof path);
    const std::string full = path;
    return full.substr(full.find_last_of("\\/") + 1);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const PluginRow kRows[] = {
    {"SelfRuns", "<ProcessName>{self}</ProcessName>", "Yes", "正在运行"},
    {"SelfInOtherCase", "<ProcessName>{SELF}</ProcessName><Running>yes</Running>", "Yes",
     "正在运行"},
    {"SelfMustNotRun", "<ProcessName>{self}</ProcessName><Running>No</Running>", "No",
     "要求不运行"},
    {"AbsentMustRun", "<ProcessName>{absent}</ProcessName>", "No", "没有运行"},
    {"AbsentMustNotRun", "<ProcessName>{absent}</ProcessName><Running>NO</Running>", "Yes",
     "没有运行"},
    {"PrefixOfSelfIsAnotherName", "<ProcessName>{prefix}</ProcessName>", "No", "没有运行"},
    {"SelfWithMoreIsAnotherName", "<ProcessName>{self}x</ProcessName>", "No", "没有运行"},
    {"EngineOptionsAccepted",
     "<ServerIp>10.0.0.1</ServerIp><ServerPort>80</ServerPort><ProcessName>{self}</ProcessName>",
     "Yes", "正在运行"},
    {"NameMissing", "<Running>Yes</Running>", "No", "缺少选项 ProcessName"},
    {"NameEmpty", "<ProcessName>  </ProcessName>", "No", "选项 ProcessName 没有值"},
    {"NameTwice", "<ProcessName>{self}</ProcessName><ProcessName>a</ProcessName>", "No", "重复"},
    {"RunningNotAFlag", "<ProcessName>{self}</ProcessName><Running>Maybe</Running>", "No",
     "Running 的值 Maybe 无效"},
};

class CheckProcess : public testing::TestWithParam<PluginRow> {};

TEST_P(CheckProcess, JudgesTheRunningProcesses) {
    const PluginRow& row = GetParam();
    const std::string self = executable_name();
    const std::string options =
        filled(row.options, {{"self", self},
                             {"SELF", upper(self)},
                             {"prefix", self.substr(0, self.size() - 1)},
                             {"absent", "QuarnNoSuchProgram" + std::to_string(os::process_id())}});
    const PluginReply reply =
        call_plugin("QuarnCheckProcess.dll", "CheckProcess",
                    check_type("QuarnCheckProcess.dll", "CheckProcess", options).c_str());
    EXPECT_PLUGIN_REPLY(row, reply);
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckProcess, testing::ValuesIn(kRows), row_name);

}  // namespace
