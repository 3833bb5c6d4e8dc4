// ReportIdentityAuthResult: "ReportAuthResult" to the server for a
// registered device that is not isolated. The reply is not examined, and an
// exchange that fails still counts as handed over.
#include "autocheck/identity/auth_report.h"

#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"

namespace {

using autocheck::kIdentityAuthSource;

constexpr char kFunction[] = "ReportIdentityAuthResult";

int refuse(int line, const char* message) {
    LogTrace(kFunction, kTraceError, kIdentityAuthSource, line, "%s", message);
    return 0;
}

// An integer of the configuration store; 0 when unreadable.
const char* yes_no(bool yes) {
    return yes ? "Yes" : "No";
}

}  // namespace

int ReportIdentityAuthResult() {
    const int device_id = ReadConfigIntOr("DeviceId");
    const int is_forbid = ReadConfigIntOr("IsForbid");
    const int role_id = ReadConfigIntOr("RoleId");
    const int policy_id = ReadConfigIntOr("PolicyId");
    const int security_check = ReadConfigIntOr("IsDoSecurityCheck");
    if (device_id == 0) return refuse(__LINE__, "此设备还没有注册");
    if (is_forbid == 1) return refuse(__LINE__, "此设备已被隔离");

    using autocheck::append_int;
    using autocheck::append_text;
    const XmlDocument report = autocheck::new_document(kIdentityAuthSource, kFunction, __LINE__);
    // A report missing an element would tell the server something else.
    if (report == nullptr || !append_text(report.get(), "TradeCode", "ReportAuthResult") ||
        !append_int(report.get(), "AgentID", device_id) ||
        !append_int(report.get(), "RoleID", role_id) ||
        !append_int(report.get(), "PolicyID", policy_id) ||
        !append_text(report.get(), "IsNeedSafeCheck", yes_no(security_check != 0)) ||
        !append_text(report.get(), "Result", yes_no(role_id != 0))) {
        return refuse(__LINE__, "创建XML报文失败");
    }

    char web_url[kPathSize];
    char host[kHostSize];
    if (!ReadServerAddress(web_url, host, nullptr)) return refuse(__LINE__, "没有找到WebUrl");
    ServerExchange(host, report.get());  // the reply, if any, goes at once
    return 1;
}
