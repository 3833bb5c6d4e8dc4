// The tray module as the assistant uses it: its exports change what the
// shared tray state shows; quarnctl tray, another process, clicks an entry
// and its named event is set; the library's tray code builds the menu and its
// event thread acts on a click made with quarnctl.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "autocheck/runtime/tray_icon.h"
#include "autocheck/threads.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/sibling_abi.h"
#include "os/event.h"
#include "os/module.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/text.h"
#include "siblings/QuarnAssShowIcon/tray_state.h"
#include "support/file_bytes.h"
#include "support/helper_process.h"
#include "support/system_tool.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

struct TrayExports {
    sibling::InitTrayFunction init = nullptr;
    sibling::AddTrayIconFunction add_icon = nullptr;
    sibling::DelTrayIconFunction del_icon = nullptr;
    sibling::AddDynamicMenuFunction add_menu = nullptr;
    sibling::DelDynamicMenuFunction del_menu = nullptr;
    sibling::DeleteAllDynamicMenuFunction del_all = nullptr;
    sibling::ShowBalloonMsgFunction balloon = nullptr;
    sibling::AddEventNotifyFunction notify = nullptr;
};

// The real module, loaded for good: its window thread runs in it.
const TrayExports& tray() {
    static const TrayExports exports = [] {
        os::Handle module = os::module_load((program_dir() + "QuarnAssShowIcon.dll").c_str());
        const auto bind = [module](auto* function, const char* name) {
            *function = reinterpret_cast<std::remove_pointer_t<decltype(function)>>(
                os::module_symbol(module, name));
        };
        TrayExports e;
        bind(&e.init, "InitTray"), bind(&e.add_icon, "AddTrayIcon");
        bind(&e.del_icon, "DelTrayIcon"), bind(&e.add_menu, "AddDynamicMenu");
        bind(&e.del_menu, "DelDynamicMenu"), bind(&e.del_all, "DeleteAllDynamicMenu");
        bind(&e.balloon, "ShowBalloonMsg"), bind(&e.notify, "AddEventNotify");
        return e;
    }();
    return exports;
}

tray_state::State published() {
    tray_state::State state{};
    EXPECT_TRUE(tray_state::read(&state));
    return state;
}

std::vector<std::string> menu(const tray_state::State& state) {
    std::vector<std::string> entries;
    for (int i = 0; i < state.entry_count; ++i) {
        entries.push_back(std::string(state.entries[i].caption) + "|" +
                          state.entries[i].event_name);
    }
    return entries;
}

// A 16x16 icon file of 32-bit pixels, as the assistant's status icons are.
std::string icon_file_bytes() {
    std::string bytes;
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<char>(i < 4 ? value >> (8 * i) : 0));
    };
    put(0, 2), put(1, 2), put(1, 2);  // icon directory
    put(16, 1), put(16, 1), put(0, 2), put(1, 2), put(32, 2), put(1128, 4), put(22, 4);
    put(40, 4), put(16, 4), put(32, 4), put(1, 2), put(32, 2), put(0, 4), put(1088, 4);
    put(0, 16);                                                     // bitmap header
    for (int pixel = 0; pixel < 256; ++pixel) put(0xFF2080E0u, 4);  // colour
    put(0, 64);                                                     // mask
    return bytes;
}

// Runs quarnctl with `arguments`; its exit code, -1 when it did not end.
int quarnctl(std::vector<const char*> arguments) {
    return run_program(program_dir() + "quarnctl.exe", std::move(arguments));
}

class Tray : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, tray().notify);
        ASSERT_EQ(1, tray().init());
        tray().del_all();
    }
    AssistantHome home_;
};

TEST_F(Tray, ExportsChangeWhatTheTrayShows) {
    const std::string icon = home_.appdata() + "/success.ico";
    {
        std::FILE* file = std::fopen(icon.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        const std::string bytes = icon_file_bytes();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    ASSERT_EQ(
        1, tray().add_icon("您的电脑已通过安全检查\n检查时间:2026-01-02 03:04:05", icon.c_str()));
    EXPECT_EQ(icon, published().icon_path);
    EXPECT_STREQ("您的电脑已通过安全检查\n检查时间:2026-01-02 03:04:05", published().tooltip);
    // A missing icon file leaves the system's icon, and the tray usable.
    ASSERT_EQ(1, tray().add_icon("提示", (home_.appdata() + "/fault.ico").c_str()));
    EXPECT_STREQ("", published().icon_path);

    const std::string long_text(64, 'x');
    struct {
        const char* caption;
        const char* event_name;
        int result;
    } const adds[] = {
        {"退出", "Event_Exit", 1},
        {"SEPARATOR_1", "MF_SEPARATOR", 1},
        {"关于", "Event_Show_About", 1},
        {"退出", "Event_Other", 0},  // captions are unique
        {"", "Event_Empty", 0},
        {"无事件", "", 0},
        {long_text.c_str(), "Event_Long", 0},
        {"长事件", long_text.c_str(), 0},
    };
    for (const auto& add : adds)
        EXPECT_EQ(add.result, tray().add_menu(add.caption, add.event_name));
    EXPECT_EQ(1, tray().del_menu("关于"));
    EXPECT_EQ(0, tray().del_menu("关于"));
    EXPECT_EQ((std::vector<std::string>{"退出|Event_Exit", "SEPARATOR_1|MF_SEPARATOR"}),
              menu(published()));
    for (int i = 2; i < tray_state::kMaxEntries; ++i) {
        ASSERT_EQ(1, tray().add_menu(("entry " + std::to_string(i)).c_str(), "Event_Entry"));
    }
    EXPECT_EQ(0, tray().add_menu("one too many", "Event_Entry"));

    ASSERT_EQ(1, tray().balloon("提示", "本电脑网络访问稍后将会受到限制...", 20000));
    tray_state::State state = published();
    EXPECT_EQ(1u, state.balloon_shown);
    EXPECT_STREQ("本电脑网络访问稍后将会受到限制...", state.balloon_text);
    EXPECT_EQ(20000, state.balloon_ms);
    ASSERT_EQ(1, tray().balloon("", "", 0));
    EXPECT_EQ(0u, published().balloon_shown);

    ASSERT_EQ(1, tray().del_icon());
    EXPECT_EQ(0u, published().icon_shown);
    // While the icon is away a balloon waits for it.
    EXPECT_EQ(1, tray().balloon("提示", "held until the icon is back", 60000));
    EXPECT_EQ(0u, published().balloon_shown);
    ASSERT_EQ(1, tray().add_icon("提示", ""));
    state = published();
    EXPECT_EQ(1u, state.balloon_shown);
    EXPECT_STREQ("held until the icon is back", state.balloon_text);
    ASSERT_EQ(1, tray().del_icon());
    ASSERT_EQ(1, tray().add_icon("提示", ""));
    EXPECT_EQ(0u, published().balloon_shown);  // shown once
    ASSERT_EQ(1, tray().del_icon());
}

struct ClickCase {
    const char* name;
    std::vector<const char*> arguments;
    int exit_code;
    int event_set;  // index into kEvents, -1 for none
};

constexpr const char* kEvents[] = {"QuarnTrayTest Choice", "QuarnTrayTest Double"};

const ClickCase kClicks[] = {
    {"Entry", {"tray", "click", "选择"}, 0, 0},
    {"DoubleClick", {"tray", "double-click"}, 0, 1},
    {"Separator", {"tray", "click", "SEPARATOR_9"}, 1, -1},
    {"NoSuchEntry", {"tray", "click", "没有"}, 1, -1},
    {"NobodyWaits", {"tray", "click", "无人等待"}, 1, -1},
    {"Show", {"tray"}, 0, -1},
};

class Click : public Tray, public testing::WithParamInterface<ClickCase> {};

TEST_P(Click, FromQuarnctlSetsTheEntryEvent) {
    ASSERT_EQ(1, tray().add_menu("选择", kEvents[0]));
    ASSERT_EQ(1, tray().add_menu("SEPARATOR_9", "MF_SEPARATOR"));
    ASSERT_EQ(1, tray().add_menu("无人等待", "QuarnTrayTest Nobody"));
    ASSERT_EQ(1, tray().notify(515, kEvents[1]));
    os::Handle events[2];
    for (int i = 0; i < 2; ++i) {
        events[i] = os::event_create(kEvents[i], os::EventReset::kManual, false);
        os::event_reset(events[i]);
    }
    EXPECT_EQ(GetParam().exit_code, quarnctl(GetParam().arguments));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(i == GetParam().event_set, os::event_wait(events[i], 0) == 0) << kEvents[i];
        os::event_close(events[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Quarnctl, Click, testing::ValuesIn(kClicks),
                         [](const auto& row) { return std::string(row.param.name); });

// The assistant's side in a process of its own: the library's tray code
// builds the icon and menu on the real module, its event thread waits; every
// question is answered OK and recorded in the file named by argv[0].
std::string g_questions;
int answer_ok(const char* text, const char*, unsigned) {
    if (std::FILE* file = std::fopen(g_questions.c_str(), "ab")) {
        std::fprintf(file, "%s\n", text);
        std::fclose(file);
    }
    return 1;
}

QUARN_TEST_HELPER(assistant) {
    g_questions = argv[0];
    AssistantHome home;
    FakeModule config(fake_path("QuarnAssConfigMgr.dll"));
    FakeModule log(fake_path("QuarnAssLog.dll"));
    if (tray().init == nullptr) return 2;
    for (const char* setting :
         {"IsAutoAuth=yes", "ShowNavigationMenu=1", "EnableSoftuseApplyFor=0", "LastAuthType=User",
          "ShowNewIcon=1", "CheckResult=fault", "CheckTime=2026-01-02 03:04:05"}) {
        const std::string text = setting;
        const std::size_t equals = text.find('=');
        Call_TarnWriteConfig(text.substr(0, equals).c_str(), text.substr(equals + 1).c_str());
    }
    Call_InitTray();
    Call_AddEventNotify();
    ShowOrUpdateIcon();
    os::seams::install_message_box_answer(answer_ok);
    std::thread(autocheck::EventDoingThread, nullptr).detach();
    std::this_thread::sleep_for(60s);
    return 3;  // the exit never came
}

TEST_F(Tray, LibraryMenuClickedFromQuarnctlReachesTheEventThread) {
    const std::string questions = home_.appdata() + "/questions.txt";
    os::Handle assistant = spawn_helper("assistant", {questions.c_str()});
    ASSERT_NE(nullptr, assistant);
    tray_state::State state{};
    for (int i = 0; i < 300 && !(tray_state::read(&state) && state.icon_shown != 0 &&
                                 state.owner_pid != os::process_id());
         ++i) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(
        (std::vector<std::string>{
            "退出|Event_Exit", "关于|Event_Show_About", "SEPARATOR_1|MF_SEPARATOR",
            "卸载小助手|Event Uninstall", "申请来宾上网码|Event Request Mask",
            "停止使用网络|Event_Cut_Off_Network", "取消自动身份认证|Event_Undo_Auto_Auth",
            "SEPARATOR_2|MF_SEPARATOR", "小秘书|Event Open Navigation", "SEPARATOR_3|MF_SEPARATOR",
            "查看安全检查结果|Event_Look_Check_Result", "身份认证与安全检查|Event_Start_Check",
            "SEPARATOR_4|MF_SEPARATOR", "修改认证用户密码|Event Change User Password",
            "切换上网用户|Event Open User Switch Html"}),
        menu(state));
    EXPECT_STREQ("您的电脑存在安全隐患，请及时修复\n检查时间:2026-01-02 03:04:05", state.tooltip);
    EXPECT_EQ(515, state.notify_message);
    EXPECT_STREQ("Event_L_Button_D_Click", state.notify_event);

    // The event thread creates its events once it runs.
    for (int i = 0; i < 300; ++i) {
        if (os::Handle exit = os::event_open("Event_Exit")) {
            os::event_close(exit);
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(0, quarnctl({"tray", "click", "退出"}));
    EXPECT_EQ(0, wait_helper(assistant, 60000));  // the confirmed exit ends the process
    EXPECT_EQ("关闭入网小助手可能导致无法上网,您确定要关闭入网小助手吗？\n", read_file(questions));
}

}  // namespace
