// Launching the page dialog and ending it again by its window title, with
// the real double of TarnHtmlDlg.exe.
#include "interface/launch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
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

using quarn::test::AssistantHome;

// Waits until a window titled `title` is owned by a process.
std::uint32_t wait_for_window(const char* title) {
    for (int i = 0; i < 500; ++i) {
        if (const std::uint32_t pid = os::window_find_process(title)) return pid;
        os::sleep_ms(20);
    }
    return 0;
}

class PageDialog : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(quarn::test::fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        record_ = home_.appdata() + "/dialogs.txt";
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", record_.c_str());
        traces_.clear();
    }
    void TearDown() override { os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr); }

    std::string recorded() {
        std::ifstream in(record_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    AssistantHome home_;
    std::string record_;
    quarn::test::TraceCapture traces_;
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
                      "\\Quarn\\" +
                      "TarnAssistant.ico\" Title=检查结果 Width=640 Height=480 ShowSysIcon=1 "
                      "SysIconMsg=\"请修复\"",
                  opened[0].message);

    const std::uint32_t pid = wait_for_window(title);
    ASSERT_NE(0u, pid);
    EXPECT_NE(std::string::npos, recorded().find(std::string("\t") + title + "\t"));

    traces_.clear();
    EXPECT_EQ(1, TerminateProcessByHwndName(title));
    EXPECT_TRUE(os::handle_wait(process, 10000));
    os::handle_close(process);
    const auto ended = traces_.find("TerminateProcessByHwndName", "成功结束窗口");
    ASSERT_EQ(1u, ended.size());
    EXPECT_GBK_EQ("成功结束窗口检查结果所在进程" + std::to_string(pid), ended[0].message);
}

TEST_F(PageDialog, WithoutAPlaceForTheHandleTheDialogStillStarts) {
    const char* title = "无句柄";
    ASSERT_EQ(1, OpenUrlInTarnHtmlDlg(title, "", "http://srv/", nullptr, 0, 0, 1, 0));
    ASSERT_NE(0u, wait_for_window(title));
    EXPECT_EQ(1, TerminateProcessByHwndName(title));
}

TEST_F(PageDialog, MissingDialogProgramFailsAndIsTraced) {
    os::env_set("APPDATA", (home_.appdata() + "-missing").c_str());
    os::Handle process = reinterpret_cast<os::Handle>(1);
    EXPECT_EQ(0, OpenUrlInTarnHtmlDlg("t", "", "http://srv/x", &process, 0, 0, 1, 0));
    EXPECT_EQ(nullptr, process);
    const auto failed = traces_.find("OpenUrlInTarnHtmlDlg", "打开页面http://srv/x失败");
    EXPECT_EQ(1u, failed.size());
}

TEST(TerminateByTitle, UnknownTitleIsTraced) {
    quarn::test::TraceCapture traces;
    EXPECT_EQ(0, TerminateProcessByHwndName("没有这个窗口的标题"));
    const auto found = traces.find("TerminateProcessByHwndName", "没有找到窗口 没有这个窗口的标题");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(1u, found[0].level);
    EXPECT_EQ(0, TerminateProcessByHwndName(nullptr));
}

}  // namespace
