// The working thread: its wait for the server run as the thread itself
// (ended through the exit seam), the reachability probe, and two passes after
// the preparation. Cycles in passes authenticate; with IsDoSecurityCheck 1
// their check fails quietly (IsDisturb 1), so no page opens.
#include "autocheck/runtime/working_thread.h"

#include <algorithm>
#include <atomic>
#include <tuple>
#include <utility>

#include "autocheck/runtime/server_probe.h"
#include "autocheck/threads.h"
#include "cutil/xml.h"
#include "tests/autocheck/runtime/cycle_fixture.h"

namespace {

using namespace runtime_test;

#define TWICE(line) line line
#define HEART_TEST "udp srv|36537 HeartTest</TradeCode><AgentID>12</AgentID></TARN>\n"
#define WAKEUP \
    "udp srv|36537 ComputerWakeup</TradeCode><AgentID>12</AgentID><RoleID>3</RoleID></TARN>\n"
#define SLEPT "trace: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n"
#define SLEPT_LOG "log: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n"
#define WAKING "trace: 发送电脑唤醒报文\n"
#define DUE "IsDoSecurityCheck=1;CheckTime;ServerDownPath=http://srv/d/"

std::atomic<int> g_downloads{0};

// An HTTP client that faults in its first download, then downloads.
__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) int QUARN_STDCALL
download_faulting_once(const char*, int) {
    volatile int* volatile nowhere = nullptr;
    if (g_downloads++ == 0) *nowhere = 1;
    return 1;
}

struct PassCase {
    const char* name;
    const char* command_line;
    const char* settings;  // changes to the base settings; "Faulting": the download faults once
    int replies;           // notices the server answers
    const char* journal;
    const char* auth_time;  // after the passes (base: 09:30, now: 10:00)
};

const PassCase kCases[] = {
    {"FirstHeartbeat", "", "AuthTime", 1, HEART_TEST, "10:00"},
    {"HeartbeatRetriedUntilAnswered", "", "AuthTime=2026-02-02 09:00:00", 0, TWICE(HEART_TEST),
     "09:00"},
    {"WakeupAfterClockSetBack", "", "AuthTime=2026-02-02 12:00:00", 1,
     SLEPT WAKING SLEPT_LOG WAKEUP, "10:00"},
    {"NoWakeupAfterFailedCheck", "", "AuthTime=2026-02-02 08:50:00;CheckResult=FALSE", 1,
     TWICE(SLEPT) TWICE(SLEPT_LOG), "08:50"},
    {"HeartbeatWithoutCheckPage", "", "CheckUrl;AuthTime=2026-02-02 09:00:00", 0,
     TWICE("error: 没有找到检查页面，无法放送心跳报文\n")
         TWICE("log: 没有找到检查页面，无法放送心跳报文\n"),
     "09:00"},
    {"WakeupWithoutCheckPage", "", "AuthTime=2026-02-02 12:00:00;CheckUrl", 0,
     TWICE(SLEPT WAKING "error: 没有找到检查页面，无法放唤醒报文\n")
         TWICE(SLEPT_LOG "log: 没有找到检查页面，无法放送唤醒报文\n"),
     "12:00"},
    {"UserLogonCutsThenAdmits", "TarnAssistant.exe -user", "SuportPraxa=1", 0,
     "agent: 通过TDI， 断开网络\ntrace: 用户登录，做身份认证和安全检查\ncycle\n"
     "agent: 通过Praxa的TDI放开网络\nlog: 用户登录，做身份认证和安全检查\n",
     "10:00"},
    // A folder named like a switch is no logon start: no cut, no cycle.
    {"ByHandFromAFolderNamedLikeASwitch", "\"C:\\Users\\lab-user\\TarnAssistant.exe\"",
     "SuportPraxa=1", 0, "", "09:30"},
    {"InstallRunsOnlyThePeriod", "TarnAssistant.exe -install", "IsDoSecurityCheck=1;CheckTime", 0,
     "cycle\nlog: 到达检查周期\n", "10:00"},
    {"PeriodWithServerDown", "", DUE, 0,
     TWICE("error: 达到身份认证周期，但是和服务器不通，不做安全检查\n")
         TWICE("log: 到达检查周期\n"),
     "09:30"},
    {"FaultEndsOnlyItsPass", "", DUE ";Faulting", 0,
     "error: 发生异常\ncycle\n" TWICE("log: 到达检查周期\n"), "10:00"},
};

class WorkingPasses : public CycleFixture, public testing::WithParamInterface<PassCase> {
  protected:
    static std::uint32_t working_thread(void* self) {
        static_cast<WorkingPasses*>(self)->run([] { autocheck::WorkingThread(nullptr); });
        return 0;
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
    if (std::string(c.settings).find("Faulting") != std::string::npos)
        HttpDownloadFile = &download_faulting_once;

    autocheck::WorkingState state = autocheck::PrepareWorkingPasses(c.command_line);
    for (int i = 0; i < c.replies; ++i)
        queue_reply(comm_, "GetUdpPacketFrom", 1, cutil_xml_create("test", "reply", __LINE__));
    autocheck::RunWorkingPass(&state);
    autocheck::RunWorkingPass(&state);

    expect_journal(c.journal,
                   {"WorkingThread", "HeartTest", "ComputerWakeup", "IsComputerHaveSleeped"},
                   {"用户登录", "到达检查周期", "超过正常", "没有找到检查页面"});
    char auth_time[64] = "";
    ReadConfigText("AuthTime", auth_time, sizeof auth_time);
    EXPECT_EQ(std::string("2026-02-02 ") + c.auth_time + ":00", auth_time);
    // Prepared once: the command callback, the tray and its double click.
    EXPECT_EQ(1u, comm_.calls_of("SetPacketRecvCallBack").size());
    EXPECT_EQ(1u, tray_.calls_of("InitTray").size() * tray_.calls_of("AddEventNotify").size());
}

INSTANTIATE_TEST_SUITE_P(TwoPasses, WorkingPasses, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The longest of twenty starts' waits: within the bound, and near it (all
// twenty in its lower quarter happens once in 10^12 runs).
TEST_F(WorkingPasses, StartDelayIsDrawnWithinRandomDelay) {
    clock_.instant_sleep = true;
    for (const auto& [setting, bound_ms] : {std::pair<const char*, std::uint32_t>{"RandomDelay", 0},
                                            {"RandomDelay=0", 0},
                                            {"RandomDelay=-5", 0},
                                            {"RandomDelay=30", 30000},
                                            {"RandomDelay=99999", 3600000}}) {
        configure("AuthInterval=60", setting);
        std::uint32_t longest = 0;
        for (int start = 0; start < 20; ++start) {
            const std::uint32_t before = os::tick_count();
            autocheck::RandomStartDelay();
            longest = std::max(longest, os::tick_count() - before);
        }
        EXPECT_LE(longest, bound_ms) << setting;
        EXPECT_GE(longest, bound_ms / 4) << setting;
    }
    clock_.instant_sleep = false;
}

TEST_F(WorkingPasses, UninstallsAfterAMonthWithoutTheServer) {
    configure("ServerDownPath=http://srv/d/;CheckTime=2026-01-02 10:00:00", "");
    const os::Handle thread = os::thread_start(&working_thread, this);
    ASSERT_TRUE(os::handle_wait(thread, 30000));
    os::handle_close(thread);
    const std::string banner = std::string(37, '-') + "进入 WorkingThread" + std::string(43, '-');
    expect_journal(
        "trace: 进入自动身份认证和安全检查线程\nerror: 和服务器不通\nerror: "
        "已经一个月没有检查了，卸载小助手\nlog: " +
            banner +
            "\n\n\n\nlog: 已经一个月没有检查了，卸载小助手\n"
            "start TarnAssistant.exe -u\nexit 0\n",
        {"WorkingThread"}, {"-", "已经"});
}

TEST_F(WorkingPasses, ProbeDownloadsTheUpdateDescription) {
    const std::string request =
        "<TARN><DownloadUrl>http://srv/d/TarnAssistantUpdate.inf"
        "</DownloadUrl><LocalSavePath>" +
        agent_path("TarnAssistantUpdate.inf") + "</LocalSavePath><MaxSize>65536</MaxSize></TARN>|0";
    const std::string update = home_.path("TarnAssistantUpdate.inf");
    // ServerDownPath change, download result, probe result, request sent.
    for (const auto& [settings, downloaded, result, asked] :
         {std::tuple("ServerDownPath", 1, 1, ""), std::tuple("ServerDownPath=", 1, 1, ""),
          std::tuple("", 1, 1, request.c_str()), std::tuple("", 0, 0, request.c_str())}) {
        configure("ServerDownPath=http://srv/d/", settings);
        http_.reset();
        http_.answer("HttpDownloadFile", downloaded);
        std::fclose(std::fopen(update.c_str(), "wb"));
        EXPECT_EQ(result, IsCanConnectToServer()) << settings;
        const auto calls = http_.calls_of("HttpDownloadFile");
        EXPECT_EQ(asked, calls.empty() ? "" : calls[0].arguments);
        EXPECT_FALSE(std::filesystem::exists(update));  // never a stale description
    }
    HttpDownloadFile = nullptr;  // Init could not bind it: nothing can be fetched
    EXPECT_EQ(0, IsCanConnectToServer());
}

}  // namespace
