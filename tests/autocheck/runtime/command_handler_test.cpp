// Server pushes played through the communication double into the registered
// callback, with an earlier check page open and a helper process standing
// in for the 802.1x side: it creates the two disconnection events and
// reports which one was set. A forced check runs a cycle that authenticates
// and needs no check, so it opens no page.
#include "autocheck/runtime/command_handler.h"

#include "cutil/xml.h"
#include "interface/gateway.h"
#include "os/event.h"
#include "os/session.h"
#include "os/system.h"
#include "tests/autocheck/runtime/cycle_fixture.h"

namespace {

using namespace runtime_test;

constexpr char kHandled[] = "Quarn Test Command Handled";
enum Event { kForceCut, kLogonElsewhere, kNone };

// The index of the first event set: the 802.1x side's two, then the test's.
QUARN_TEST_HELPER(disconnection_events) {
    const char* const names[] = {"Event Admin Force Cut Net",
                                 "Event Name User Logon On Other Computer", kHandled};
    os::Handle events[3];
    for (int i = 0; i < 3; ++i)
        events[i] = os::event_create(names[i], os::EventReset::kManual, false);
    const int set = os::event_wait_any(events, 3, 20000);
    for (os::Handle event : events) os::event_close(event);
    return set;
}

#define FORCED \
    "trace: 收到强制安全检查请求\ntrace: 关掉前一页面\ncycle\nlog: 收到强制安全检查请求\n"
#define TO_ME "<WhatToDo>ShowUserOneMsg</WhatToDo><Msg>停机通知</Msg><DevID>"
#define SHOWN                                                                                         \
    "trace: 收到管理员消息: 停机通知\nlog: 收到管理员消息: 停机通知\nballoon: " \
    "提示|停机通知|300000\n"
#define RENEW "log: 刷新IP\nstart ipconfig.exe -renew\n"
#define SWITCH "trace: 创建用户切换线程\ntrace: 进入用户切换线程\n"
#define SWITCHING "balloon: 上网用户切换|正在切换上网用户|10000\n"
#define URL "<WhatToDo>OpenNewUrl</WhatToDo><Url>aHR0cDovL3Nydi9pP2E9fn5,JmI9Pz8.JmM9MQ::</Url>"
#define OPENED                                                              \
    "trace: 收到请求打开URL： http://srv/i?a=~~~&b=???&c=1\ndialog " \
    "公告|http://srv/i?a=~~~&b=???&c=1|"

struct CommandCase {
    const char* name;
    const char* command;  // the children of TARN; null: no document
    const char* settings;
    int result;
    Event event;
    const char* journal;
};

const CommandCase kCases[] = {
    {"NoDocument", nullptr, "", 1, kNone, ""},
    {"NoCommand", "<Msg>x</Msg>", "", 1, kNone, ""},
    {"UnknownCommand", "<WhatToDo>Reboot</WhatToDo>", "", 0, kNone, ""},
    {"ForcedCheckInLowerCase", "<WhatToDo>dosecuritycheck</WhatToDo><Msg>马上检查</Msg>", "", 1,
     kNone, FORCED "balloon: 提示|马上检查|300000\n"},
    {"ForcedCheckDefaultText", "<WhatToDo>DoSecurityCheck</WhatToDo>", "", 1, kNone,
     FORCED "balloon: 提示|管理员给您发了一个强制安全检查命令|300000\n"},
    {"ForcedCheckNotDisturbing", "<WhatToDo>DoSecurityCheck</WhatToDo>", "IsDisturb=1", 1, kNone,
     FORCED},
    {"MessageToThisDevice", TO_ME "18</DevID>", "", 1, kNone,
     "trace: nDeviceId: 18 nDeviceId_Get: 18\n" SHOWN},
    {"MessageToAnotherDevice", TO_ME "17</DevID>", "", 1, kNone,
     "trace: nDeviceId: 18 nDeviceId_Get: 17\ntrace: ShowUserOneMsg: 目标设备不是此电脑 18 - 17\n"},
    {"MessageToEveryDevice", TO_ME "</DevID>", "", 1, kNone,
     "trace: ShowUserOneMsg: 没有收到设备ID\n" SHOWN},
    {"MessageNotDisturbing", TO_ME "18</DevID>", "IsDisturb=1", 1, kNone, ""},
    {"IpRenewWithNat", "<WhatToDo>IPRENEW</WhatToDo>", "SupportNat=1", 1, kNone,
     "trace: 刷新IP\nttl 64\n" RENEW},
    {"SwitchUser", "<WhatToDo>SwitchUser</WhatToDo><UserName>张三</UserName><Password>x</Password>",
     "", 1, kNone,
     SWITCH "trace: 尝试切换到用户: 张三\ntrace: 切换过程已完成: 张三\n" SWITCHING
            "balloon: 上网用户切换|切换上网用户成功!|10000\nstart ipconfig.exe -renew\n"},
    {"SwitchUserWithoutName", "<WhatToDo>SwitchUser</WhatToDo>", "", 1, kNone,
     "error: 用户切换没有指定用户名\nlog: 用户切换没有指定用户名\n"},
    {"ForcedOffline",
     "<WhatToDo>ShutdownNetwork</WhatToDo><ShutdownType>802.1X</ShutdownType>"
     "<Option>forceshutdown</Option>",
     "", 0, kForceCut, "trace: 收到网络断开请求: 802.1X\ntrace: 管理员强制下线此电脑\n"},
    {"LoggedOnElsewhere", "<WhatToDo>ShutdownNetwork</WhatToDo><ShutdownType>802.1x</ShutdownType>",
     "", 0, kLogonElsewhere,
     "trace: 收到网络断开请求: 802.1x\ntrace: 认证用户已经在其它地方登录\n"},
    {"ShutdownOfAnotherType",
     "<WhatToDo>ShutdownNetwork</WhatToDo><ShutdownType>wlan</ShutdownType><Option>ForceShutdown"
     "</Option>",
     "", 0, kNone, ""},
    {"OpenNewUrl", URL "<Title>公告</Title><Width>800</Width><Height>600</Height>", "", 0, kNone,
     OPENED "800x600|0|\n"},
    {"OpenNewUrlWithoutSize", URL "<Title>公告</Title><Width>wide</Width>", "", 0, kNone,
     OPENED "-1x-1|0|\n"},
    {"OpenNewUrlWithoutTitle", URL "<Width>800</Width>", "", 0, kNone, ""},
    // Only web pages: a program, a file or a share named by the server is refused.
    {"OpenNewUrlOfALocalProgram",
     "<WhatToDo>OpenNewUrl</WhatToDo><Url>QzpcVXNlcnNcdVxydW4uYmF0</Url><Title>t</Title>", "", 0,
     kNone,
     "trace: 收到请求打开URL： C:\\Users\\u\\run.bat\n"
     "error: 拒绝打开不是 http 或 https 的地址: C:\\Users\\u\\run.bat\n"},
    {"OpenNewUrlOfAFile",
     "<WhatToDo>OpenNewUrl</WhatToDo><Url>ZmlsZTovLy9ldGMvcGFzc3dk</Url><Title>t</Title>", "", 0,
     kNone,
     "trace: 收到请求打开URL： file:///etc/passwd\n"
     "error: 拒绝打开不是 http 或 https 的地址: file:///etc/passwd\n"},
    {"OpenNewUrlOfAShare",
     "<WhatToDo>OpenNewUrl</WhatToDo><Url>XFxob3N0XHNoYXJlXHguZXhl</Url><Title>t</Title>", "", 0,
     kNone,
     "trace: 收到请求打开URL： \\\\host\\share\\x.exe\n"
     "error: 拒绝打开不是 http 或 https 的地址: \\\\host\\share\\x.exe\n"},
    // An installer's packet, forwarded: stored here as the installation would.
    {"RegistrationNotice",
     "<WhatToDo>DeviceRegNotify</WhatToDo><TradeCode>DeviceRegNotify</TradeCode>"
     "<CheckUrl>http://srv/check</CheckUrl><DeviceID>18</DeviceID>",
     "", 1, kNone, "log: 收到设备注册通知，已保存配置\n"},
    {"RegistrationNoticeWithoutCheckUrl", "<WhatToDo>DeviceRegNotify</WhatToDo>", "", 0, kNone, ""},
    // An installing packet: the desktop link too, its name cleaned as for the command line.
    {"RegistrationNoticeMakesTheLink",
     "<WhatToDo>DeviceRegNotify</WhatToDo><IsInstall>1</IsInstall><DeskLinkName>Quarn \"Notice|"
     "</DeskLinkName><CheckUrl>http://srv/check</CheckUrl>",
     "", 1, kNone, "log: 收到设备注册通知，已保存配置\n"},
    // An uninstalling one is the installer's to run: nothing stored here.
    {"RegistrationNoticeThatUninstalls",
     "<WhatToDo>DeviceRegNotify</WhatToDo><IsInstall>0</IsInstall><CheckUrl>http://srv/check"
     "</CheckUrl>",
     "", 0, kNone, ""},
};

class ServerCommands : public CycleFixture, public testing::WithParamInterface<CommandCase> {};

// POSIX: the session's desktop under the test's own home while it lives
// (Windows: the test prefix's own user).
class OwnDesktop {
  public:
    explicit OwnDesktop(const std::string& home) {
        if (!kPosix) return;
        for (const char* name : kNames) {
            char value[1024] = "";
            saved_.push_back(os::env_get(name, value, sizeof value) > 0 ? value : "");
            os::env_set(name, (home + "/" + name).c_str());
        }
    }
    ~OwnDesktop() {
        for (std::size_t i = 0; i < saved_.size(); ++i)
            os::env_set(kNames[i], saved_[i].empty() ? nullptr : saved_[i].c_str());
    }

  private:
    static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME"};
    std::vector<std::string> saved_;
};

TEST_P(ServerCommands, EachCommandDoesWhatItSays) {
    const CommandCase& c = GetParam();
    configure("CheckUrl=http://srv/check;WebUrl=http://srv:8080;DeviceId=18;LastAuthType=NoAuth",
              c.settings);
    http_.answer("HttpGet", 1, kAccepted);
    open_earlier_page();
    const os::Handle side = spawn_helper("disconnection_events");
    os::Handle handled = nullptr;
    for (int i = 0; i < 500 && (handled = os::event_open(kHandled)) == nullptr; ++i)
        os::sleep_ms(20);
    ASSERT_NE(nullptr, handled);
    Call_SetPacketRecvCallBack(&PacketRecvCallBack);
    const XmlDocument command(
        c.command == nullptr
            ? nullptr
            : cutil_xml_import(("<TARN>" + std::string(c.command) + "</TARN>").c_str(), "test",
                               "push", __LINE__));

    const auto push = reinterpret_cast<int(QUARN_CDECL*)(XmlNode*)>(comm_.symbol("QuarnFake_Push"));
    const OwnDesktop desktop(home_.appdata());
    std::filesystem::remove(os::desktop_link_path("Quarn Notice"));
    EXPECT_EQ(c.result, push(command.get()));
    const bool linked = std::filesystem::exists(os::desktop_link_path("Quarn Notice"));
    EXPECT_EQ(std::string(c.name) == "RegistrationNoticeMakesTheLink", linked);
    bool link_kept = false;
    for (const auto& call : config_store_.calls_of("TarnWriteConfig"))
        link_kept |= call.arguments == "DeskLinkName|Quarn Notice";
    EXPECT_EQ(linked, link_kept);
    os::desktop_link_remove("Quarn Notice");
    os::event_set(handled);
    os::event_close(handled);

    EXPECT_EQ(c.event, wait_helper(side));
    if (std::string(c.journal).find(SWITCH) != std::string::npos) {  // the thread's own work
        ASSERT_TRUE(traces_.wait_for("ThreadSwitchUser", "切换过程已完成", 20000));
    }
    expect_journal(c.journal, {"PacketRecvCallBack", "ThreadSwitchUser"},
                   {"收到", "刷新IP", "用户切换"});
    if (c.command != nullptr) {  // IsDisturb is read before the command is looked at
        EXPECT_EQ("IsDisturb", config_store_.calls_of("TarnReadConfig").at(0).arguments);
    }
    const bool forced = std::string(c.journal).find("强制安全检查") != std::string::npos;
    EXPECT_EQ(forced, earlier_page_ended(forced));
}

INSTANTIATE_TEST_SUITE_P(EachCommand, ServerCommands, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
