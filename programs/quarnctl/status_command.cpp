// quarnctl status: one screen of where the endpoint stands, from what the
// assistant keeps: the configuration store, the tray's shared state and the
// desktop agent's network-control state. The due times come from the
// agent's own schedule rules, run here on the same store.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/runtime/schedule.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/file.h"
#include "os/process.h"
#include "os/process_owner.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/product_module.h"
#include "programs/quarnctl/status_trust.h"
#include "siblings/BrimDepend/net_control.h"
#include "siblings/QuarnAssCommunicate/listen_state.h"
#include "siblings/QuarnAssShowIcon/tray_state.h"

namespace quarnctl {
namespace {

std::string setting(const char* key) {
    char value[1024] = "";
    ReadConfigText(key, value, sizeof value);
    return value;
}

int number(const char* key) {
    return std::atoi(setting(key).c_str());
}

// "(none)" for an empty value, the value shown as UTF-8 otherwise.
std::string shown(const std::string& value) {
    return value.empty() ? "(none)" : printable(value);
}

void print_admission() {
    const int running = os::process_count_own_by_name(sibling::kAssistantExe, 0);
    std::printf("assistant:   %s\n", running > 0 ? "running" : "not running");
    const int device = number("DeviceId");
    std::printf("device:      %s%s\n",
                device != 0 ? std::to_string(device).c_str() : "not registered",
                setting("IsForbid") == "1" ? ", isolated by the server" : "");
    const int role = number("RoleId");
    std::printf("identity:    %s", role != 0 ? "authenticated" : "not authenticated");
    if (role != 0) std::printf(", role %d", role);
    std::printf(" (last by %s at %s)\n", shown(setting("LastAuthType")).c_str(),
                shown(setting("AuthTime")).c_str());
}

void print_check() {
    const std::string time = setting("CheckTime");
    const std::string verdict = setting("CheckResult");
    const std::string score = setting("CheckScore");
    if (time.empty()) {
        std::printf("last check:  none\n");
    } else {
        std::printf("last check:  %s, %s%s\n", printable(time).c_str(), shown(verdict).c_str(),
                    score.empty() ? "" : (", score " + score).c_str());
    }
    if (!setting("ResultUrl").empty())
        std::printf("result page: %s\n", printable(setting("ResultUrl")).c_str());
    std::printf("next check:  %s\n", IsTimeToSecurityCheck() != 0 ? "due now" : "not yet due");
    const std::string interval = setting("AuthInterval");
    std::printf("heartbeat:   %s (every %s minutes, last %s)\n",
                IsTimeToHeartTest() != 0 ? "due now" : "not yet due",
                interval.empty() ? "60" : printable(interval).c_str(),
                shown(setting("AuthTime")).c_str());
}

void print_tray() {
    tray_state::State state;
    if (!tray_state::read(&state)) {
        std::printf("tray:        none published\n");
        return;
    }
    std::printf("tray:        %s, %d menu entries",
                state.icon_shown != 0 ? "icon shown" : "no icon",
                static_cast<int>(state.entry_count));
    if (state.icon_shown != 0) std::printf(", tooltip \"%s\"", printable(state.tooltip).c_str());
    std::printf("\n");
    if (state.balloon_shown != 0) {
        std::printf("balloon:     %s | %s\n", printable(state.balloon_title).c_str(),
                    printable(state.balloon_text).c_str());
    }
}

void print_network() {
    const bool refused = setting("CheckResult") == "false";
    if (number("SupportNat") != 0)
        std::printf("network TTL: %s\n", refused ? "64 (not admitted)" : "200 (admitted)");
    if (number("SuportPraxa") == 0) {
        std::printf("network:     not controlled through the desktop agent\n");
        return;
    }
    char path[260] = "";
    GetAgentModulePath(path, sizeof path, "%s", brim_net::kStateFile);
    brim_net::State state;
    if (!brim_net::load(path, &state)) {
        std::printf("network:     the agent's state cannot be read\n");
    } else {
        std::printf("network:     %s\n", brim_net::cut_now(state, brim_net::now_text())
                                             ? "cut by the desktop agent"
                                             : "open");
    }
}

// How the web server is verified: the agent's HTTP client checks an https
// server against the system's trust store and, when set, ServerKeyPin.
void print_server() {
    const std::string url = setting("WebUrl");
    const bool secure = url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0;
    const bool pinned = !setting("ServerKeyPin").empty();
    if (!secure) {
        std::printf("server:      %s, not encrypted: the server is not verified\n",
                    url.empty() ? "no web address" : "http");
        return;
    }
    std::printf("server:      https, verified through the system trust store%s\n",
                pinned ? " and the pinned key (ServerKeyPin)" : "");
}

// The communication module's ports as the running assistant last wrote them:
// a port another program holds is shown with the time it was first refused.
void print_channels() {
    char path[kPathSize] = "";
    if (os::process_count_own_by_name(sibling::kAssistantExe, 1) == 0 ||
        !gateway::assistant_file_path(communicate::kStatusFileName, path)) {
        return;
    }
    const os::Handle file = os::file_open_read(path, os::kFileShareRead | os::kFileShareWrite);
    if (file == nullptr) return;
    char bytes[1024];
    std::size_t size = 0;
    os::file_read(file, bytes, sizeof bytes, &size);
    os::file_close(file);
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && bytes[end] != '\n') ++end;
        const std::string text(bytes + start, end - start);
        start = end + 1;
        const bool push = text.compare(0, 5, "push=") == 0;
        if (!push && text.compare(0, 6, "local=") != 0) continue;
        const std::string state = text.substr(text.find('=') + 1);
        const bool held = state.compare(0, 5, "held ") == 0;
        std::printf("%s %s%s\n", push ? "push port:  " : "local port: ",
                    held ? "HELD BY ANOTHER PROGRAM: " : "", state.c_str());
    }
}

}  // namespace

int run_status(int argc, char** /*argv*/) {
    if (argc != 0) {
        std::fprintf(stderr, "quarnctl status: takes no arguments (see --help)\n");
        return 2;
    }
    if (load_product_module(sibling::kConfigMgrDll) == nullptr) {
        std::fprintf(stderr, "quarnctl status: cannot load %s\n", sibling::kConfigMgrDll);
        return 1;
    }
    print_admission();
    print_server();
    print_protections();
    print_channels();
    print_check();
    print_tray();
    print_network();
    return 0;
}

}  // namespace quarnctl
