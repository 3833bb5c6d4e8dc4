// The working thread: the wait for the server through the thread itself
// (it ends through the exit seam), the reachability probe, and two passes
// after the preparation for each case. Cycles in the passes authenticate
// and, with IsDoSecurityCheck 0, pass; with 1 they fail quietly
// (IsDisturb 1), so no page opens.
#include "autocheck/runtime/working_thread.h"

#include <atomic>

#include "autocheck/runtime/server_probe.h"
#include "autocheck/threads.h"
#include "cutil/xml.h"
#include "os/module.h"
#include "tests/autocheck/runtime/cycle_fixture.h"
#include "tests/fakes/Communicate/communicate_script.h"

namespace {

using namespace runtime_test;

#define HEART_TEST \
    "udp srv|36537 <TARN><TradeCode>HeartTest</TradeCode><AgentID>12</AgentID></TARN>\n"
#define WAKEUP                                                                                \
    "udp srv|36537 <TARN><TradeCode>ComputerWakeup</TradeCode><AgentID>12</AgentID><RoleID>3" \
    "</RoleID></TARN>\n"
#define SLEPT "trace: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n"
#define SLEPT_LOG "log: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n"
#define WAKING "trace: 发送电脑唤醒报文\n"
#define NOW "AuthTime 2026-02-02 10:00:00\n"

std::atomic<int> g_downloads{0};

// The HTTP client faulting in its first download, then downloading.
__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) int QUARN_STDCALL
download_faulting_once(const char*, int) {
    if (g_downloads++ == 0) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    return 1;
}

struct PassCase {
    const char* name;
    const char* command_line;
    const char* settings;  // changes to the base settings
    int replies;           // notices the server answers
    bool faulting_download;
    const char* journal;  // what the two passes did
    const char* notices;  // the notices sent, then AuthTime
};

const PassCase kCases[] = {
    {"FirstHeartbeat", "", "AuthTime", 1, false, "", HEART_TEST NOW},
    {"HeartbeatRetriedUntilAnswered", "", "AuthTime=2026-02-02 09:00:00", 0, false, "",
     HEART_TEST HEART_TEST "AuthTime 2026-02-02 09:00:00\n"},
    {"NothingDue", "", "", 0, false, "", "AuthTime 2026-02-02 09:30:00\n"},
    {"WakeupAfterClockSetBack", "", "AuthTime=2026-02-02 12:00:00", 1, false,
     SLEPT WAKING SLEPT_LOG, WAKEUP NOW},
    {"NoWakeupAfterFailedCheck", "", "AuthTime=2026-02-02 12:00:00;CheckResult=FALSE", 1, false,
     SLEPT SLEPT SLEPT_LOG SLEPT_LOG, "AuthTime 2026-02-02 12:00:00\n"},
    {"NoWakeupBeforeAnyCheck", "", "AuthTime=2026-02-02 08:50:00;CheckResult=", 1, false,
     SLEPT SLEPT SLEPT_LOG SLEPT_LOG, "AuthTime 2026-02-02 08:50:00\n"},
    {"HeartbeatWithoutCheckPage", "", "AuthTime;CheckUrl", 0, false,
     "error: 没有找到检查页面，无法放送心跳报文\nerror: 没有找到检查页面，无法放送心跳报文\n"
     "log: 没有找到检查页面，无法放送心跳报文\nlog: 没有找到检查页面，无法放送心跳报文\n",
     "AuthTime (none)\n"},
    {"WakeupWithoutCheckPage", "", "AuthTime=2026-02-02 12:00:00;CheckUrl", 0, false,
     SLEPT WAKING "error: 没有找到检查页面，无法放唤醒报文\n" SLEPT WAKING
                  "error: 没有找到检查页面，无法放唤醒报文\n" SLEPT_LOG
                  "log: 没有找到检查页面，无法放送唤醒报文\n" SLEPT_LOG
                  "log: 没有找到检查页面，无法放送唤醒报文\n",
     "AuthTime 2026-02-02 12:00:00\n"},
    {"HeartbeatUnregistered", "", "AuthTime;DeviceId=0", 0, false,
     "error: 设备没有注册或者身份认证没有通过,不放送心跳报文\n"
     "error: 设备没有注册或者身份认证没有通过,不放送心跳报文\n",
     "AuthTime (none)\n"},
    {"WakeupUnauthenticated", "", "AuthTime=2026-02-02 12:00:00;RoleId", 0, false,
     SLEPT WAKING "error: 设备没有注册或者身份认证没有通过,不发送唤醒报文\n" SLEPT WAKING
                  "error: 设备没有注册或者身份认证没有通过,不发送唤醒报文\n" SLEPT_LOG SLEPT_LOG,
     "AuthTime 2026-02-02 12:00:00\n"},
    {"UserLogonCutsThenAdmits", "TarnAssistant.exe -user", "SuportPraxa=1", 0, false,
     "agent: 通过TDI， 断开网络\ntrace: 用户登录，做身份认证和安全检查\ncycle\n"
     "agent: 通过Praxa的TDI放开网络\nlog: 用户登录，做身份认证和安全检查\n",
     NOW},
    {"InstallRunsOnlyThePeriod", "TarnAssistant.exe -install", "IsDoSecurityCheck=1;CheckTime", 0,
     false, "cycle\nlog: 到达检查周期\n", NOW},
    {"PeriodWithServerDown", "", "IsDoSecurityCheck=1;CheckTime;ServerDownPath=http://srv/d/", 0,
     false,
     "error: 达到身份认证周期，但是和服务器不通，不做安全检查\n"
     "error: 达到身份认证周期，但是和服务器不通，不做安全检查\n"
     "log: 到达检查周期\nlog: 到达检查周期\n",
     "AuthTime 2026-02-02 09:30:00\n"},
    {"FaultEndsOnlyItsPass", "", "IsDoSecurityCheck=1;CheckTime;ServerDownPath=http://srv/d/", 0,
     true, "error: 发生异常\ncycle\nlog: 到达检查周期\nlog: 到达检查周期\n", NOW},
};

void PrintTo(const PassCase& c, std::ostream* out) {
    *out << c.name;
}

class WorkingPasses : public CycleFixture, public testing::WithParamInterface<PassCase> {
  protected:
    static std::uint32_t working_thread(void* self) {
        static_cast<WorkingPasses*>(self)->run([] { autocheck::WorkingThread(nullptr); });
        return 0;
    }
    // The notices sent (host, port and document), then the stored AuthTime.
    std::string notices() const {
        std::string out;
        const auto calls = comm_.calls_of("GetUdpPacketFrom");
        const auto sent = sent_requests(comm_);
        for (std::size_t i = 0; i < sent.size() && i < calls.size(); ++i) {
            std::string text = sent[i].text.substr(sent[i].text.find("<TARN>"));
            if (text.find("HeartTest<") == std::string::npos &&
                text.find("ComputerWakeup<") == std::string::npos)
                continue;
            for (const char blank : {'\r', '\n', '\t'})
                text.erase(std::remove(text.begin(), text.end(), blank), text.end());
            const std::string& peer = calls[i].arguments;
            out += "udp " + peer.substr(0, peer.rfind('|')) + " " + text + "\n";
        }
        char auth_time[64] = "(none)";
        ReadConfigText("AuthTime", auth_time, sizeof auth_time);
        return out + "AuthTime " + auth_time + "\n";
    }
};

TEST_P(WorkingPasses, EachPassFollowsTheSchedule) {
    const PassCase& c = GetParam();
    configure(
        "CheckUrl=http://srv/check;WebUrl=http://srv:8080;DeviceId=12;RoleId=3;"
        "LastAuthType=NoAuth;CheckResult=success;AuthTime=2026-02-02 09:30:00;"
        "AuthInterval=60;CheckTime=2026-02-01 10:00:00;CheckPeriod=3;IsDisturb=1",
        c.settings);
    http_.answer("HttpGet", 1, kAccepted);
    g_downloads = 0;
    if (c.faulting_download) HttpDownloadFile = &download_faulting_once;

    autocheck::WorkingState state = autocheck::PrepareWorkingPasses(c.command_line);
    for (int i = 0; i < c.replies; ++i) {
        queue_reply(comm_, "GetUdpPacketFrom", 1, cutil_xml_create("test", "reply", __LINE__));
    }
    autocheck::RunWorkingPass(&state);
    autocheck::RunWorkingPass(&state);

    expect_journal(c.journal,
                   {"WorkingThread", "HeartTest", "ComputerWakeup", "IsComputerHaveSleeped"},
                   {"用户登录", "到达检查周期", "超过正常", "没有找到检查页面"});
    EXPECT_GBK_EQ(c.notices, notices());
    EXPECT_EQ(1u, comm_.calls_of("SetPacketRecvCallBack").size());
    EXPECT_EQ(1u, tray_.calls_of("InitTray").size());
    EXPECT_EQ(1u, tray_.calls_of("AddEventNotify").size());
}

INSTANTIATE_TEST_SUITE_P(TwoPasses, WorkingPasses, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(WorkingPasses, UninstallsAfterAMonthWithoutTheServer) {
    configure("ServerDownPath=http://srv/d/;CheckTime=2026-01-02 10:00:00", "");
    const os::Handle thread = os::thread_start(&working_thread, this);
    ASSERT_TRUE(os::handle_wait(thread, 30000));
    os::handle_close(thread);
    const std::string banner =
        std::string(37, '-') + "进入 WorkingThread" + std::string(43, '-') + "\n\n\n";
    expect_journal(
        "trace: 进入自动身份认证和安全检查线程\nerror: 和服务器不通\n"
        "error: 已经一个月没有检查了，卸载小助手\nlog: " +
            banner +
            "\nlog: 已经一个月没有检查了，卸载小助手\n"
            "start TarnAssistant.exe -u\nexit 0\n",
        {"WorkingThread"}, {"-", "已经"});
}

TEST_F(WorkingPasses, ProbeDownloadsTheUpdateDescription) {
    const char kRequest[] =
        "<TARN><DownloadUrl>http://srv/d/TarnAssistantUpdate.inf</DownloadUrl><LocalSavePath>"
        "~\\TarnAssistantUpdate.inf</LocalSavePath></TARN>|0";
    const struct {
        const char* settings;
        int downloaded;
        int result;
        const char* request;
    } rows[] = {{"ServerDownPath", 1, 1, ""},
                {"ServerDownPath=", 1, 1, ""},
                {"", 1, 1, kRequest},
                {"", 0, 0, kRequest}};
    for (const auto& row : rows) {
        configure("ServerDownPath=http://srv/d/", row.settings);
        http_.reset();
        http_.answer("HttpDownloadFile", row.downloaded);
        const std::string update = home_.path("TarnAssistantUpdate.inf");
        std::fclose(std::fopen(update.c_str(), "wb"));
        EXPECT_EQ(row.result, IsCanConnectToServer()) << row.settings;
        std::string request;
        for (const auto& call : http_.calls_of("HttpDownloadFile")) request += call.arguments;
        if (request.find(agent_path("")) != std::string::npos)
            request.replace(request.find(agent_path("")), agent_path("").size(), "~\\");
        EXPECT_EQ(row.request, request);
        EXPECT_FALSE(std::filesystem::exists(update));
    }
    // The product's own export, cdecl: its HTTP client was never bound.
    const os::Handle product = os::module_load((program_dir() + "QuarnAssAutoCheck.dll").c_str());
    ASSERT_NE(nullptr, product);
    const auto exported =
        reinterpret_cast<int(QUARN_CDECL*)()>(os::module_symbol(product, "IsCanConnectToServer"));
    ASSERT_NE(nullptr, exported);
    EXPECT_EQ(0, exported());
    configure("", "");
    EXPECT_EQ(1, exported());
    os::module_free(product);
}

}  // namespace
