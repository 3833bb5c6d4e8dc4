// The dialog's command line as every caller of the agent library writes it.
#include "programs/TarnHtmlDlg/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using html_dlg::DialogRequest;
using html_dlg::parse_command_line;

// The library's own format, byte for byte.
std::string line_of(const char* url, const char* icon, const char* title, int width, int height,
                    int tray, const char* message) {
    char text[2048];
    std::snprintf(text, sizeof text,
                  "Url=\"%s\" Icon=\"%s\" Title=%s Width=%d Height=%d ShowSysIcon=%d "
                  "SysIconMsg=\"%s\"",
                  url, icon, title, width, height, tray, message);
    return text;
}

constexpr char kIcon[] = "C:\\Users\\a\\AppData\\Roaming\\Quarn\\TarnAssistant.ico";

TEST(PageDialogCommandLine, ReadsEveryCallersLine) {
    const struct {
        const char* url;
        const char* title;
        int width, height, tray;
        const char* message;
        bool hidden;
    } cases[] = {
        // The check page at start-up, after a cycle and after a user switch.
        {"http://10.0.0.1/check.php?a=1&from=assistant", "入网小助手-身份认证与安全检查", 0, 0, 0,
         "", false},
        // Automatic repair: hidden, with a tray icon and its message.
        {"C:\\Users\\a\\AppData\\Roaming\\Quarn\\RepairPage.html", "入网小助手-自动修复", -1, -1, 1,
         "小助手正在对您的系统进行自动修复,点击查看详情!", true},
        {"C:\\Quarn\\RepairPage.html", "入网小助手-手动修复", 0, 0, 0, "", false},
        {"C:\\Quarn\\GuestMask.html", "入网小助手-来宾上网码申请", 320, 160, 0, "", false},
        // A server's page: its own title, blanks and all, and its own size.
        {"http://10.0.0.1/notice.php", "Notice from  the admin ", 800, -1, 0, "", true},
        {"http://10.0.0.1/a%22b", "", 0, 0, 0, "", false},
    };
    for (const auto& c : cases) {
        const std::string line =
            line_of(c.url, kIcon, c.title, c.width, c.height, c.tray, c.message);
        SCOPED_TRACE(line);
        DialogRequest request;
        std::string error;
        ASSERT_TRUE(parse_command_line(line, &request, &error)) << error;
        EXPECT_EQ(c.url, request.url);
        EXPECT_EQ(kIcon, request.icon);
        EXPECT_EQ(c.title, request.title);
        EXPECT_EQ(c.width, request.width);
        EXPECT_EQ(c.height, request.height);
        EXPECT_EQ(c.tray != 0, request.show_tray_icon);
        EXPECT_EQ(c.message, request.tray_message);
        EXPECT_EQ(c.hidden, request.hidden());
    }
}

TEST(PageDialogCommandLine, RefusesWhatTheLibraryNeverWrites) {
    const std::string good = line_of("http://h/p", "i.ico", "T", 0, 0, 0, "");
    const char* const bad[] = {
        "",
        "Url=http://h/p Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"\" Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Icon=\"i.ico\" Url=\"http://h/p\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=-2 Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=99999999999 Height=0 ShowSysIcon=0 "
        "SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=1x Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width= Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=2 SysIconMsg=\"\"",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"a",
        "Url=\"http://h/p\" Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"\" "
        "x",
        "Url=\"http://h/p Icon=\"i.ico\" Title=T Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\"\"",
    };
    DialogRequest request;
    std::string error;
    EXPECT_TRUE(parse_command_line("  " + good + " \r\n", &request, &error)) << error;
    for (const char* line : bad) {
        EXPECT_FALSE(parse_command_line(line, &request, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

}  // namespace
