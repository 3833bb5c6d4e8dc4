// The tray event thread on a thread of the test: each named event is set by
// another process, confirmations are answered through the message-box seam,
// and the thread ends through the exit seam (a hook that throws on the
// thread that exits). What every choice did is read off the doubles, the
// store, the files, the programs started and the traces, as one journal.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "autocheck/threads.h"
#include "os/event.h"
#include "os/process.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/autocheck/runtime/event_fixture.h"

namespace {

using namespace runtime_test;
namespace fs = std::filesystem;

constexpr bool kPosix = fs::path::preferred_separator == '/';

// Opens each of the "|"-separated named events the tray thread created and
// sets it.
QUARN_TEST_HELPER(set_tray_events) {
    std::istringstream names(argc > 0 ? argv[0] : "");
    for (std::string name; std::getline(names, name, '|');) {
        os::Handle event = nullptr;
        for (int tries = 0; event == nullptr && tries < 500; ++tries) {
            if ((event = os::event_open(name.c_str())) == nullptr) os::sleep_ms(20);
        }
        if (event == nullptr || !os::event_set(event)) return 1;
        os::event_close(event);
    }
    return 0;
}

struct ExitRequested {
    std::uint32_t code;
};
void throwing_exit_hook(std::uint32_t code) {
    throw ExitRequested{code};
}

std::mutex g_boxes_lock;
std::string g_boxes;  // "box: <caption>|<flags>|<text>\n" each
std::atomic<int> g_answer{1};
int answer_box(const char* text, const char* caption, unsigned flags) {
    char line[1024];
    std::snprintf(line, sizeof line, "box: %s|%#x|%s\n", caption, flags, text);
    const std::lock_guard<std::mutex> guard(g_boxes_lock);
    g_boxes += line;
    return g_answer.load();
}

constexpr int kOk = 1;
constexpr int kCancel = 2;
#define EXIT_QUESTION \
    "box: 入网小助手|0x40041|关闭入网小助手可能导致无法上网,您确定要关闭入网小助手吗？\n"
#define CUT_QUESTION \
    "box: 入网小助手|0x40041|停止使用网络后会取消自动身份认证功能，您确定要停止使用网络吗？\n"
#define UNDO_QUESTION "box: 入网小助手|0x40041|您确定要取消自动身份认证吗？\n"
#define UNINSTALL_QUESTION \
    "box: 入网小助手|0x40041|卸载入网小助手可能导致无法上网,您确定要卸载小助手吗？\n"
#define CHECK_PAGE "dialog 入网小助手-身份认证与安全检查|http://srv/check?from=assistant|0x0|0|\n"
#define AUTO_AUTH_CANCELLED \
    "tray: DelDynamicMenu(取消自动身份认证)\nIsAutoAuth=No\nWebAuthTypeTmp deleted\n"
#define UNINSTALLED "start TarnAssistant.exe -u\nstart ipconfig.exe -renew\nexit 0\n"
#define DELETE_DEVICE                                                       \
    "trace: 删除设备信息\ntrace: 删除设备信息应答: ok\n" UNINSTALL_QUESTION \
    "get: http://srv:8080/trade.php?tradecode=client_dev_delete&device_id=7\n"

// A registered, authenticated endpoint; each row's changes come after.
constexpr char kSettings[] =
    "LinkName=某某单位;AboutMessage=版本 1.0;ResultUrl=http://srv/r?id=1;CheckUrl=http://srv/check;"
    "WebUrl=http://srv:8080;UserName=1cXI.Q::;RoleId=3;DeviceId=7;ServerIp=10.0.0.1;"
    "LastAuthType=User;IsAutoAuth=Yes;";  // UserName: 张三

struct EventCase {
    const char* name;
    const char* events;    // "|" between names; several are all set before the thread starts
    int answer;            // to every message box
    const char* settings;  // ";" between changes: "Key=value", or "Key" alone to remove it
    const char* folder;    // a folder put in the assistant directory in the way of a file
    const char* journal;
};

const EventCase kCases[] = {
    {"About", "Event_Show_About", kOk, "", "",
     "trace: 显视关于\nbox: 关于|0|\r\n某某单位\r\n版本 1.0\n"},
    {"AboutWithoutLinkName", "Event_Show_About", kOk, "LinkName;AboutMessage", "",
     "trace: 显视关于\nbox: 关于|0|\r\n\r\n入网小助手！ \r\n\r\n\n"},
    {"ExitCancelled", "Event_Exit", kCancel, "", "", "trace: 用户取消了退出\n" EXIT_QUESTION},
    {"Exit", "Event_Exit", kOk, "", "", "trace: 用户选择退出，进程结束\n" EXIT_QUESTION "exit 0\n"},
    {"CheckResult", "Event_Look_Check_Result", kOk, "", "",
     "trace: 查看安全检查结果\ndialog 入网小助手-安全检查结果|http://srv/r?id=1|0x0|0|\n"},
    {"DoubleClick", "Event_L_Button_D_Click", kOk, "", "", "trace: 安全检查\n" CHECK_PAGE},
    {"StartCheck", "Event_Start_Check", kOk, "CheckUrl=http://srv/check?a=1", "",
     "trace: 安全检查\ndialog 入网小助手-身份认证与安全检查|http://srv/check?a=1&from=assistant|"
     "0x0|0|\n"},
    {"CutOffCancelled", "Event_Cut_Off_Network", kCancel, "", "",
     "trace: 断开网络连接\ntrace: 用户取消了断开网络连接\n" CUT_QUESTION
     "log: 用户选择断开网络连接\n"},
    {"CutOff", "Event_Cut_Off_Network", kOk, "SupportNat=1;SuportPraxa=1", "",
     "trace: 断开网络连接\n" CUT_QUESTION
     "log: 用户选择断开网络连接\nruntime: CutOffNetwork\nttl 64\npraxa\n"
     "tray: ShowBalloonMsg(提示|本电脑网络访问稍后将会受到限制...|20000)\n" AUTO_AUTH_CANCELLED
     "start ipconfig.exe -renew\n"},
    {"UndoAutoAuthCancelled", "Event_Undo_Auto_Auth", kCancel, "", "",
     "trace: 取消自动身份认证\ntrace: 用户放弃了取消自动身份认证\n" UNDO_QUESTION},
    {"UndoAutoAuth", "Event_Undo_Auto_Auth", kOk, "", "",
     "trace: 取消自动身份认证\n" UNDO_QUESTION AUTO_AUTH_CANCELLED},
    {"ForceExit", "Event_Force_Exit", kCancel, "", "",
     "trace: Force Exit\ntray: DelTrayIcon()\nexit 0\n"},
    {"UninstallCancelled", "Event Uninstall", kCancel, "", "",
     "trace: 卸载小助手\ntrace: 用户取消了卸载小助手\n" UNINSTALL_QUESTION},
    {"Uninstall", "Event Uninstall", kOk, "SupportNat=1", "",
     "trace: 卸载小助手\ntrace: 用户选择卸载小助手\n" DELETE_DEVICE "ttl 64\n" UNINSTALLED},
    {"UninstallWebUrlWithSlash", "Event Uninstall", kOk, "WebUrl=http://srv:8080/", "",
     "trace: 卸载小助手\ntrace: 用户选择卸载小助手\n" DELETE_DEVICE UNINSTALLED},
    {"UninstallWithoutWebUrl", "Event Uninstall", kOk, "WebUrl", "",
     "trace: 卸载小助手\ntrace: 用户选择卸载小助手\n" UNINSTALL_QUESTION UNINSTALLED},
    {"GuestCode", "Event Request Mask", kOk, "", "",
     "trace: 申请来宾上网码\nget: http://srv:8080/mod/client_check/ajax.php?tradecode="
     "get_guest_netcode&user_name=1cXI.Q::&device_id=7\ndialog 入网小助手-来宾上网码申请|"
     "~\\GuestMaskPage.html|320x160|0|\n"},
    {"GuestCodeWithoutPage", "Event Request Mask", kOk, "DeviceId", "GuestMaskPage.html",
     "trace: 申请来宾上网码\nbox: 入网小助手|0|申请来宾上网码失败,请重启电脑后重试!\n"},
    {"Navigation", "Event Open Navigation", kOk, "", "",
     "trace: 打开导航页面\ndialog 入网小助手-小秘书|http://srv:8080/trade.php?tradecode=apply_nav&"
     "roleid=3|800x550|0|\n"},
    {"NavigationWithoutRole", "Event Open Navigation", kOk, "RoleId", "",
     "trace: 打开导航页面\nerror: 取设备ID失败，是否没有认证通过?\n"},
    {"UserSwitch", "Event Open User Switch Html", kOk, "", "",
     "trace: 打开上网用户快速切换窗口\ncopied\n"
     "dialog 入网小助手-上网用户快速切换|~\\QuarnUserSwitch.html|550x350|0|\n"},
    // A site that is no file: the start fails (and would open the browser
    // if it were), so the trace of the failure shows the address.
    {"ChangePassword", "Event Change User Password", kOk, "WebUrl=no-site", "",
     "trace: 打开认证用户密码修改页面\n"
     "error: 打开页面no-site/mod/client_check/changePass.php?username=张三失败\n"},
    {"ChangePasswordWithoutUser", "Event Change User Password", kOk, "WebUrl=no-site/;UserName", "",
     "trace: 打开认证用户密码修改页面\n"
     "error: 打开页面no-site/mod/client_check/changePass.php失败\n"},
    {"SoftwareUse", "Event Software Use Apply For", kOk, "", "",
     "trace: 打开软件使用申请页面\ndialog 入网小助手-软件使用申请|http://10.0.0.1/trade.php?"
     "tradecode=soft_management&isopen=1&roleid=3&deviceid=7|800x600|0|\n"},
    {"ExitWaitsBeforeCheckPage", "Event_Start_Check|Event_Exit", kCancel, "", "",
     "trace: 用户取消了退出\ntrace: 安全检查\n" EXIT_QUESTION CHECK_PAGE},
    {"ExitBeforeCheckPage", "Event_Start_Check|Event_Exit", kOk, "", "",
     "trace: 用户选择退出，进程结束\n" EXIT_QUESTION "exit 0\n"},
};

void PrintTo(const EventCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

class TrayEvents : public RuntimeFixture, public testing::WithParamInterface<EventCase> {
  protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        // The recording double stands in for the programs the thread starts.
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnAssistant.exe"));
        if (kPosix) {  // Windows finds its own ipconfig.exe before any folder of ours
            system_dir_ = home_.appdata() + "/system";
            fs::create_directory(system_dir_);
            fs::copy_file(fake_path("TarnHtmlDlg.exe"), system_dir_ + "/ipconfig.exe");
            os::env_set("QUARN_SYSTEM_DIR", system_dir_.c_str());
        }
        for (const char* file :
             {"WebAuthTypeTmp", "QuarnUserSwitch.chg", "delete.chg", "user.chg"}) {
            std::FILE* out = std::fopen(home_.path(file).c_str(), "wb");
            ASSERT_NE(nullptr, out);
            std::fputs(file, out);
            std::fclose(out);
        }
        http_.answer("HttpGet", 1, "ok");
        os::seams::install_exit_hook(&throwing_exit_hook);
        os::seams::install_message_box_answer(&answer_box);
        g_boxes.clear();
    }
    void TearDown() override {
        if (thread_ != nullptr) {
            const os::Handle force_exit = os::event_open("Event_Force_Exit");
            os::event_set(force_exit);
            os::event_close(force_exit);
            EXPECT_TRUE(os::handle_wait(thread_, 10000));
            os::handle_close(thread_);
        }
        for (os::Handle event : held_) os::event_close(event);
        os::seams::install_exit_hook(nullptr);
        os::seams::install_message_box_answer(nullptr);
        if (kPosix) os::env_set("QUARN_SYSTEM_DIR", nullptr);
        RuntimeFixture::TearDown();
    }

    static std::uint32_t run_thread(void* self) {
        try {
            autocheck::EventDoingThread(nullptr);
        } catch (const ExitRequested& exit) {
            static_cast<TrayEvents*>(self)->exit_code_ = static_cast<int>(exit.code);
        }
        return 0;
    }
    void start_thread() {
        thread_ = os::thread_start(&run_thread, this);
        ASSERT_NE(nullptr, thread_);
    }
    // Waits until the thread has handled and reset the event.
    void wait_handled(const char* name) {
        const os::Handle event = os::event_open(name);
        ASSERT_NE(nullptr, event);
        int state = 0;
        for (int i = 0; i < 500 && (state = os::event_wait(event, 0)) == 0; ++i) os::sleep_ms(20);
        os::event_close(event);
        EXPECT_EQ(os::kWaitTimeout, state) << name << " was not reset";
    }

    // Everything the thread did that can be seen, grouped by where it is seen,
    // once the programs `expected` names have started.
    std::string journal(const std::string& expected) {
        std::size_t programs = 0;
        for (const std::string& line : split(expected, '\n')) {
            programs += line.rfind("dialog ", 0) == 0 || line.rfind("start ", 0) == 0;
        }
        std::string out;
        for (const auto& record : traces_.find("EventDoingThread")) {
            if (record.message == "进入事件响应线程") continue;
            out += (record.level == 1 ? "error: " : "trace: ") +
                   record.message.substr(0, record.message.find(" Error=")) + "\n";
        }
        {
            const std::lock_guard<std::mutex> guard(g_boxes_lock);
            out += g_boxes;
        }
        for (const auto& line : log_.calls_of("TarnLogToFile"))
            out += "log: " + line.arguments.substr(29);
        for (const auto& url : urls_asked()) out += "get: " + url + "\n";
        for (const auto& call : runtime_check_.calls()) out += "runtime: " + call.name + "\n";
        for (const auto& record : traces_.find("TarnSetIpTTL")) {  // the TTL asked for ends it
            if (record.level == 2)
                out += "ttl " + record.message.substr(record.message.size() - 2) + "\n";
        }
        if (!traces_.find("ControlNetworkByPraxaTdi").empty()) out += "praxa\n";
        for (const auto& call : tray_.calls()) {
            out += "tray: " + call.name + "(" + call.arguments + ")\n";
        }
        char auto_auth[16] = "";
        ReadConfigText("IsAutoAuth", auto_auth, sizeof auto_auth);
        if (std::strcmp(auto_auth, "Yes") != 0)
            out += std::string("IsAutoAuth=") + auto_auth + "\n";
        if (!fs::exists(home_.path("WebAuthTypeTmp"))) out += "WebAuthTypeTmp deleted\n";
        if (read_file(home_.path("QuarnUserSwitch.html")) == "QuarnUserSwitch.chg" &&
            read_file(home_.path("delete.gif")) == "delete.chg" &&
            read_file(home_.path("user.gif")) == "user.chg") {
            out += "copied\n";
        }
        for (const std::string& start : started(programs)) out += start + "\n";
        if (exit_code_ >= 0) out += "exit " + std::to_string(exit_code_) + "\n";
        for (std::size_t at; (at = out.find(agent_path(""))) != std::string::npos;) {
            out.replace(at, agent_path("").size(), "~\\");
        }
        return out;
    }

    std::string system_dir_;
    std::vector<os::Handle> held_;
    os::Handle thread_ = nullptr;
    std::atomic<int> exit_code_{-1};
};

TEST_P(TrayEvents, EachChoiceDoesWhatItSays) {
    const EventCase& c = GetParam();
    configure(kSettings, c.settings);
    if (c.folder[0] != '\0') fs::create_directory(home_.path(c.folder));
    g_answer = c.answer;
    std::string expected = c.journal;
    const std::string renew = "start ipconfig.exe -renew\n";
    if (!kPosix && expected.find(renew) != std::string::npos) {  // the system's own records nothing
        expected.erase(expected.find(renew), renew.size());
    }
    const std::vector<std::string> events = split(c.events, '|');
    if (events.size() > 1) {  // signalled together before the thread waits
        for (const std::string& name : events) {
            held_.push_back(os::event_create(name.c_str(), os::EventReset::kManual, false));
        }
    } else {
        start_thread();
    }
    ASSERT_EQ(0, wait_helper(spawn_helper("set_tray_events", {c.events})));
    if (thread_ == nullptr) start_thread();
    if (expected.find("exit 0\n") != std::string::npos) {
        ASSERT_TRUE(os::handle_wait(thread_, 10000));
        os::handle_close(thread_);
        thread_ = nullptr;
    } else {
        for (const std::string& name : events) wait_handled(name.c_str());
    }

    EXPECT_GBK_EQ(expected, journal(expected));
    EXPECT_EQ(1u, traces_.find("EventDoingThread", "进入事件响应线程").size());
}

INSTANTIATE_TEST_SUITE_P(EachEvent, TrayEvents, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
