#include "autocheck/runtime/heartbeat.h"

#include <cstring>

#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"

namespace {

// What tells the two notices apart, texts as the agent has always written
// them.
struct Notice {
    const char* function;
    const char* trade_code;
    bool sends_role;
    const char* no_page_trace;
    const char* no_page_log;
    const char* unregistered_trace;
};

constexpr Notice kHeartTest = {
    "HeartTest",
    "HeartTest",
    false,
    "没有找到检查页面，无法放送心跳报文",
    "没有找到检查页面，无法放送心跳报文",
    "设备没有注册或者身份认证没有通过,不放送心跳报文",
};
constexpr Notice kComputerWakeup = {
    "ComputerWakeup",
    "ComputerWakeup",
    true,
    "没有找到检查页面，无法放唤醒报文",
    "没有找到检查页面，无法放送唤醒报文",
    "设备没有注册或者身份认证没有通过,不发送唤醒报文",
};

void send(const Notice& notice) {
    char check_url[kPathSize] = "";
    ReadConfigText("CheckUrl", check_url, sizeof check_url);
    if (check_url[0] == '\0') {
        LogTrace(notice.function, kTraceError, autocheck::kAutoCheckSource, __LINE__, "%s",
                 notice.no_page_trace);
        Call_TarnLogToFile("%s", notice.no_page_log);
        return;
    }
    // "0" stands for not registered and not authenticated alike.
    char device_id[kPathSize] = "0";
    char role_id[kPathSize] = "0";
    ReadConfigText("DeviceId", device_id, sizeof device_id);
    ReadConfigText("RoleId", role_id, sizeof role_id);
    if (std::strcmp(device_id, "0") == 0 || std::strcmp(role_id, "0") == 0) {
        LogTrace(notice.function, kTraceError, autocheck::kAutoCheckSource, __LINE__, "%s",
                 notice.unregistered_trace);
        return;
    }

    const XmlDocument request =
        autocheck::new_document(autocheck::kAutoCheckSource, notice.function, __LINE__);
    if (request == nullptr ||
        !autocheck::append_text(request.get(), "TradeCode", notice.trade_code) ||
        !autocheck::append_text(request.get(), "AgentID", device_id) ||
        (notice.sends_role && !autocheck::append_text(request.get(), "RoleID", role_id))) {
        return;  // out of memory: nothing sent, the schedule asks again
    }
    // The check page's host is the server; a host too long for its buffer
    // stays empty and the exchange fails.
    char host[kHostSize] = "";
    int port = 0;
    SplitUrlHostPort(check_url, &port, host, sizeof host);
    if (ServerExchange(host, request.get()) == nullptr) return;
    char now[24];
    GetLocalTimeText(now);
    Call_TarnWriteConfig("AuthTime", now);
}

}  // namespace

void HeartTest() {
    send(kHeartTest);
}

void ComputerWakeup() {
    LogTrace(kComputerWakeup.function, kTraceInfo, autocheck::kAutoCheckSource, __LINE__,
             "发送电脑唤醒报文");
    send(kComputerWakeup);
}
