// The working thread: the shell that runs the phases of working_thread.h,
// the wait for the server and the preparation of the passes.
#include "autocheck/runtime/working_thread.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/identity/device_registration.h"
#include "autocheck/policy/identity_auth_policy.h"
#include "autocheck/runtime/command_handler.h"
#include "autocheck/runtime/schedule.h"
#include "autocheck/runtime/server_probe.h"
#include "autocheck/threads.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/command_switches.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/launch.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/process.h"
#include "os/time.h"

namespace {

constexpr char kFunction[] = "WorkingThread";
constexpr std::uint32_t kServerPollMs = 3000;
constexpr std::uint32_t kPassIntervalMs = 5000;
constexpr int kShowMaximized = 3;
// RandomDelay: at most this many seconds (an hour) before the first contact.
constexpr int kMaxRandomDelaySeconds = 3600;

#define WORKING_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

bool holds(const char* command_line, const char* option) {
    return gateway::command_line_has_switch(command_line, option);
}

void uninstall_and_exit() {
    constexpr char kMessage[] = "已经一个月没有检查了，卸载小助手";
    Call_TarnLogToFile("%s", kMessage);
    WORKING_TRACE(kTraceError, kMessage);
    char assistant[kPathSize];
    if (gateway::assistant_file_path(sibling::kAssistantExe, assistant)) {
        LaunchProgram(nullptr, assistant, "-u", kShowMaximized);
    }
    os::process_exit(0);
}

}  // namespace

namespace autocheck {

// Endpoints that all start in one minute (a logon at nine, power back after
// a cut) then reach the server spread over that time. Their heartbeats
// spread only over the whole minutes it spans: the heartbeat clock counts
// minutes of the clock, not seconds.
void RandomStartDelay() {
    const int seconds = std::min(ReadConfigIntOr("RandomDelay"), kMaxRandomDelaySeconds);
    if (seconds <= 0) return;
    std::minstd_rand generator(std::random_device{}());
    const auto delay = std::uniform_int_distribution<std::uint32_t>(
        0, static_cast<std::uint32_t>(seconds) * 1000u)(generator);
    WORKING_TRACE(kTraceInfo, "RandomDelay: %u ms", static_cast<unsigned>(delay));
    os::sleep_ms(delay);
}

void WaitForServer() {
    while (IsCanConnectToServer() == 0) {
        WORKING_TRACE(kTraceError, "和服务器不通");
        if (IsMonthWithoutCheck() == 1) uninstall_and_exit();
        os::sleep_ms(kServerPollMs);
    }
}

WorkingState PrepareWorkingPasses(const char* command_line) {
    UpdateDeviceRegisterInfo();
    UpdateIdentityAuthPolicy();
    WorkingState state;
    state.logon_start = holds(command_line, "-logon") || holds(command_line, "-user");
    int praxa = 0;
    // Cut until a cycle admits the endpoint.
    if (state.logon_start && ReadConfigInt("SuportPraxa", &praxa) != 0 && praxa != 0) {
        ControlNetworkByPraxaTdi(1);
    }
    Call_SetPacketRecvCallBack(&PacketRecvCallBack);
    Call_InitTray();
    Call_AddEventNotify();
    state.logon_cycle_done = holds(command_line, "-install") ? 1 : 0;
    return state;
}

std::uint32_t WorkingThread(void*) {
    const char* command_line = os::process_command_line();
    if (command_line == nullptr) command_line = "";
    const std::string banner =
        std::string(37, '-') + "进入 WorkingThread" + std::string(43, '-') + "\n\n\n";
    Call_TarnLogToFile("%s", banner.c_str());
    WORKING_TRACE(kTraceInfo, "进入自动身份认证和安全检查线程");

    RandomStartDelay();
    WaitForServer();
    WorkingState state = PrepareWorkingPasses(command_line);
    for (;;) {
        RunWorkingPass(&state);
        os::sleep_ms(kPassIntervalMs);
    }
}

}  // namespace autocheck
