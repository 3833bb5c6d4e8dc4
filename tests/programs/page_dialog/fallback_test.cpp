// Where no browser view can be made (POSIX without a display; Wine without
// its browser engine) the dialog keeps its title and hands a visible page to
// the default browser; a hidden page and a bad command line open nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dialog_fixture.h"
#include "os/system.h"

namespace page_dialog_test {
namespace {

class PageDialogFallback : public PageDialogProcess {
  protected:
    void SetUp() override {
        PageDialogProcess::SetUp();
        for (const char* name : kDisplays) {
            char value[256] = "";
            saved_.push_back(os::env_get(name, value, sizeof value) > 0 ? value : "");
            os::env_set(name, nullptr);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            if (!saved_[i].empty()) os::env_set(kDisplays[i], saved_[i].c_str());
        }
        PageDialogProcess::TearDown();
    }

  private:
    static constexpr const char* kDisplays[] = {"DISPLAY", "WAYLAND_DISPLAY"};
    std::vector<std::string> saved_;
};

TEST_F(PageDialogFallback, HandsOnlyAVisiblePageToTheBrowser) {
    const std::string page = "http://127.0.0.1:9/check.php?a=1&from=assistant";
    // A local page as the agent names it, with "\" before its file name.
#ifdef _WIN32
    const std::string local = "C:\\Quarn\\RepairPage.html", opened = local;
#else
    const std::string local = "/tmp/a\\Quarn\\RepairPage.html",
                      opened = "/tmp/a/Quarn/RepairPage.html";
#endif
    // Windows hands the dialog its raw command line, where a backslash may
    // end the address; POSIX splits it, so the agent writes it "%5C".
#ifdef _WIN32
    const std::string slash_end = "http://127.0.0.1:9/a\\";
    const char* dash_opened = "-page.html";
#else
    const std::string slash_end = "http://127.0.0.1:9/a\\%5C";
    const char* dash_opened = "./-page.html";
#endif
    const struct {
        std::string parameters;
        int exit_code;
        bool window;
        const char* browser;
    } cases[] = {
        {command_line(page, "入网小助手-身份认证与安全检查", 0, 0, 0, ""), 0, true, page.c_str()},
        {command_line(page, "Guest code", 320, 160, 0, ""), 0, true, page.c_str()},
        {command_line(local, "入网小助手-修复", 0, 0, 0, ""), 0, true, opened.c_str()},
        {command_line(page, "入网小助手-自动修复", -1, -1, 1, "自动修复"), 3, true, ""},
        {"Url=" + page + " Title=x", 2, false, ""},
        // Read back whole by the browser: a backslash before the closing
        // quote, a leading "-".
        {command_line(slash_end, "x", 0, 0, 0, ""), 0, true, slash_end.c_str()},
        {command_line("-page.html", "x", 0, 0, 0, ""), 0, true, dash_opened},
        // Nothing but a web page or a local page file is shown or handed on.
        {command_line("C:\\Users\\u\\run.bat", "x", 0, 0, 0, ""), 4, false, ""},
        {command_line("\\\\host\\share\\page.html", "x", 0, 0, 0, ""), 4, false, ""},
        {command_line("//host/share/page.html", "x", 0, 0, 0, ""), 4, false, ""},
        {command_line("file:///C:/page.html", "x", 0, 0, 0, ""), 4, false, ""},
        {command_line("javascript:alert(1)", "x", 0, 0, 0, ""), 4, false, ""},
        {command_line("/usr/bin/xterm", "x", 0, 0, 0, ""), 4, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameters);
        std::filesystem::remove(folder_ / "browser.txt");
        EXPECT_EQ(c.exit_code, run(c.parameters));
        EXPECT_EQ(c.window, traced("窗口已创建"));
        EXPECT_EQ(c.exit_code == 2, traced("命令行格式不对"));
        EXPECT_EQ(c.exit_code == 4, traced("拒绝打开不是网页的地址"));
        // The stand-in browser runs on its own; give it time to write.
        for (int i = 0; i < 100 && *c.browser != '\0' && browser_request().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(c.browser, browser_request());
        EXPECT_EQ(*c.browser != '\0', traced("页面已交给默认浏览器"));
        clear_messages();
    }
}

}  // namespace
}  // namespace page_dialog_test
