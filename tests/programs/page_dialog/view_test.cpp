// The WebKitGTK view under Xvfb: a local page posts its form to a loopback
// server as soon as it loads (as the repair page does), the server's answer
// loads, names itself and closes the window, and the dialog ends.
#ifndef _WIN32
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "dialog_fixture.h"
#include "os/process.h"
#include "os/system.h"

namespace page_dialog_test {
namespace {

constexpr char kAnswer[] =
    "<html><head><title>Quarn repair</title></head><body>repaired"
    "<script>setTimeout(function () { window.close(); }, 200);</script></body></html>";

class PageDialogView : public PageDialogProcess {
  protected:
    void SetUp() override {
        PageDialogProcess::SetUp();
        char saved[256] = "";
        if (os::env_get("DISPLAY", saved, sizeof saved) > 0) saved_display_ = saved;
        ASSERT_TRUE(start_display());
        server_.Post("/submit", [this](const httplib::Request& request, httplib::Response& out) {
            std::lock_guard<std::mutex> lock(mutex_);
            posted_ += request.body;
            out.set_content(kAnswer, "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    void TearDown() override {
        server_.stop();
        if (thread_.joinable()) thread_.join();
        if (xvfb_ != nullptr) {
            os::process_terminate(xvfb_, 0);
            os::handle_wait(xvfb_, 10000);
            os::handle_close(xvfb_);
        }
        os::env_set("DISPLAY", saved_display_.empty() ? nullptr : saved_display_.c_str());
        PageDialogProcess::TearDown();
    }

    // Xvfb on the first display number nobody holds.
    bool start_display() {
        for (int number = 90; number < 190; ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
            if (std::filesystem::exists(socket) || std::filesystem::exists(lock)) continue;
            const std::string display = ":" + std::to_string(number);
            const char* const arguments[] = {display.c_str(), "-nolisten", "tcp", "-screen", "0",
                                             "1280x800x24",   nullptr};
            xvfb_ = os::process_spawn("/usr/bin/Xvfb", arguments);
            if (xvfb_ == nullptr) return false;
            for (int i = 0; i < 200; ++i) {
                if (std::filesystem::exists(socket)) {
                    os::env_set("DISPLAY", display.c_str());
                    return true;
                }
                if (os::handle_wait(xvfb_, 0)) break;  // another server took it
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            os::process_terminate(xvfb_, 0);
            os::handle_close(xvfb_);
            xvfb_ = nullptr;
        }
        return false;
    }

    // The repair page's shape: a form posted on load.
    std::string write_page() {
        const auto path = folder_ / "RepairPage.html";
        std::ofstream(path) << "<HTML><BODY><FORM name=\"opform\" METHOD=\"POST\" \t"
                               "ACTION=\"http://127.0.0.1:"
                            << port_
                            << "/submit\">\t<INPUT TYPE=\"hidden\" NAME=\"deviceid\" "
                               "value='7'>\t</FORM><script>document.opform.submit();</script>"
                               "</BODY></HTML>";
        return path.string();
    }

    // What the server received since the last call.
    std::string take_posted() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(posted_);
    }

  private:
    os::Handle xvfb_ = nullptr;
    std::string saved_display_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::string posted_;
};

TEST_F(PageDialogView, ShownAndHiddenPagesPostTheirFormAndEndWhenThePageCloses) {
    const struct {
        const char* title;
        int width, height, tray;
    } cases[] = {
        {"入网小助手-手动修复", 0, 0, 0},
        {"入网小助手-自动修复", -1, -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string page = write_page();
        EXPECT_EQ(0, run(command_line(page, c.title, c.width, c.height, c.tray, "repairing")));
        EXPECT_EQ("deviceid=7", take_posted());
        EXPECT_TRUE(traced("页面标题: Quarn repair")) << transcript();
        EXPECT_TRUE(traced("页面加载完成: http://127.0.0.1:"));
        EXPECT_TRUE(traced("页面关闭了窗口"));
        EXPECT_FALSE(traced("没有浏览器视图"));
        EXPECT_EQ("", browser_request());
        clear_messages();
    }
}

}  // namespace
}  // namespace page_dialog_test
#endif  // !_WIN32
