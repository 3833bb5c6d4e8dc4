// Launching the page dialog and ending it again by its window title, with
// the real double of TarnHtmlDlg.exe.
#include "interface/launch.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "interface/system_helpers.h"
#include "os/process.h"
#include "os/system.h"
#include "os/time.h"
#include "os/ui.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

class PageDialog : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        traces_.clear();
    }

    AssistantHome home_;
    TraceCapture traces_;
};

TEST_F(PageDialog, OpensTheDialogWithItsCommandLineAndEndsItByTitle) {
    const char* title = "检查结果";
    os::Handle process = nullptr;
    ASSERT_EQ(1,
              OpenUrlInTarnHtmlDlg(title, "请修复", "http://srv/a?b=1", &process, 640, 480, 1, 1));
    ASSERT_NE(nullptr, process);
    const auto opened = traces_.find("OpenUrlInTarnHtmlDlg");
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(2u, opened[0].level);
    EXPECT_GBK_EQ("OpenUrlInTarnHtmlDlg Url=\"http://srv/a?b=1\" Icon=\"" + home_.appdata() +
                      "\\Quarn\\TarnAssistant.ico\" Title=检查结果 Width=640 Height=480 "
                      "ShowSysIcon=1 SysIconMsg=\"请修复\"",
                  opened[0].message);

    // The dialog owns a window of the title it was given once it runs.
    std::uint32_t pid = 0;
    for (int i = 0; i < 500 && pid == 0; ++i) {
        pid = os::window_find_process(title);
        if (pid == 0) os::sleep_ms(20);
    }
    ASSERT_NE(0u, pid);
    traces_.clear();
    EXPECT_EQ(1, TerminateProcessByHwndName(title));
    EXPECT_TRUE(os::handle_wait(process, 10000));
    os::handle_close(process);
    const auto ended = traces_.find("TerminateProcessByHwndName", "成功结束窗口");
    ASSERT_EQ(1u, ended.size());
    EXPECT_GBK_EQ("成功结束窗口检查结果所在进程" + std::to_string(pid), ended[0].message);
}

TEST_F(PageDialog, MissingDialogProgramOrWindowFailsAndIsTraced) {
    os::env_set("APPDATA", (home_.appdata() + "-missing").c_str());
    os::Handle process = reinterpret_cast<os::Handle>(1);
    EXPECT_EQ(0, OpenUrlInTarnHtmlDlg("t", "", "http://srv/x", &process, 0, 0, 1, 0));
    EXPECT_EQ(nullptr, process);
    EXPECT_EQ(1u, traces_.find("OpenUrlInTarnHtmlDlg", "打开页面http://srv/x失败").size());

    EXPECT_EQ(0, TerminateProcessByHwndName("没有这个窗口的标题"));
    const auto found =
        traces_.find("TerminateProcessByHwndName", "没有找到窗口 没有这个窗口的标题");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(1u, found[0].level);
    EXPECT_EQ(0, TerminateProcessByHwndName(nullptr));
}

struct ArgumentCase {
    const char* name;
    const char* title;
    const char* tray_message;
    const char* url;
    const char* url_written;  // null: refused
};

// clang-format off
const ArgumentCase kArgumentCases[] = {
    {"QuoteInUrlWrittenEscaped", "检查", "", "http://s/a?b=\"1\" Width=9\"",
     "http://s/a?b=%221%22 Width=9%22"},
    {"BackslashEndingTheUrlWrittenEscaped", "检查", "", "http://s/a\\b\\\\", "http://s/a\\b%5C%5C"},
    {"KeyWithoutBlankInTitleKept", "Width=3 页面", "提示", "http://s/", "http://s/"},
    {"WidthInTitleRefused", "检查 Width=1", "", "http://s/", nullptr},
    {"KeyInOtherCaseRefused", "检查 sysiconmsg=x", "", "http://s/", nullptr},
    {"QuoteInTitleRefused", "a\"b", "", "http://s/", nullptr},
    {"QuoteInTrayMessageRefused", "检查", "x\" y", "http://s/", nullptr},
    {"KeyInTrayMessageRefused", "检查", "x Url=y", "http://s/", nullptr},
};
// clang-format on

class DialogArguments : public PageDialog, public testing::WithParamInterface<ArgumentCase> {};

// Outside its three quoted values the dialog's command line holds the keys,
// the bare title and the numbers, nothing else.
TEST_P(DialogArguments, PageTextsNeverAddAnArgument) {
    const ArgumentCase& c = GetParam();
    os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "0");
    os::Handle dialog = nullptr;
    const int opened = OpenUrlInTarnHtmlDlg(c.title, c.tray_message, c.url, &dialog, 0, 0, 0, 0);
    os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", nullptr);
    if (dialog != nullptr) {
        EXPECT_TRUE(os::handle_wait(dialog, 10000));
        os::handle_close(dialog);
    }
    const auto lines = traces_.find("OpenUrlInTarnHtmlDlg");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(c.url_written != nullptr ? 1 : 0, opened);
    EXPECT_EQ(c.url_written != nullptr ? 2u : 1u, lines[0].level);
    if (c.url_written == nullptr) return;
    const std::string line = lines[0].message;
    EXPECT_EQ(0u, line.find(std::string("OpenUrlInTarnHtmlDlg Url=\"") + c.url_written + "\""));
    EXPECT_GBK_EQ(std::string("OpenUrlInTarnHtmlDlg Url= Icon= Title=") + c.title +
                      " Width=0 Height=0 ShowSysIcon=0 SysIconMsg=",
                  std::regex_replace(line, std::regex("\"[^\"]*\""), ""));
}

INSTANTIATE_TEST_SUITE_P(Texts, DialogArguments, testing::ValuesIn(kArgumentCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
