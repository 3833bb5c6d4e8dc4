// UpdateIdentityAuthPolicy: "GetIdentityAuthPolicy" for this device, and the
// policy's settings copied into the configuration store, all in one pass or
// none at all.
#include "autocheck/policy/identity_auth_policy.h"

#include <iterator>

#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"
#include "interface/user_log.h"

namespace {

using autocheck::kPolicyManagerSource;

constexpr char kFunction[] = "UpdateIdentityAuthPolicy";
// The device id is sent as stored: at most 67 characters.
constexpr std::size_t kDeviceIdSize = 68;

struct PolicyKey {
    const char* path;
    const char* key;
    bool mandatory;
};

// Read and written in this order; the user-log line shows the first six.
constexpr PolicyKey kPolicyKeys[] = {
    {"TARN/IdentityAuthPolicy/CheckAgent", "CheckAgent", true},
    {"TARN/IdentityAuthPolicy/HowLongNotInsert", "HowLongNotInsert", true},
    {"TARN/IdentityAuthPolicy/DefaultAuthType", "DefaultAuthType", true},
    {"TARN/IdentityAuthPolicy/AllowAuthType", "AllowAuthType", true},
    {"TARN/IdentityAuthPolicy/IsAutoRepair", "IsAutoRepair", true},
    {"TARN/IdentityAuthPolicy/SupportNat", "SupportNat", true},
    {"TARN/IdentityAuthPolicy/SuportPraxa", "SuportPraxa", true},
    // Directly under the root. Without it the key is cleared: it mirrors the
    // latest policy, not an older one.
    {"TARN/CurrentEnforceType", "CurrentEnforceType", false},
};
constexpr std::size_t kKeyCount = std::size(kPolicyKeys);

// The seventh value has no place in the line.
constexpr char kPolicyLogLine[] =
    "身份认证策略信息: \t\t\t是否检查客户端 %s \t\t\tUKEY最大未插时间 %s \t\t\t默认认证类型 %s "
    "\t\t\t允许的认证类型 %s \t\t\t是否自动修复 %s \t\t\t是否支持NAT %s \t\t\t是否支持Praxa'dot1x";

void fail(int line, const char* message) {
    LogTrace(kFunction, kTraceError, kPolicyManagerSource, line, "%s", message);
}

// The texts of the eight nodes, an absent optional one and a node without
// text as ""; false when a mandatory node is missing. They point into `reply`.
bool read_policy(XmlNode* reply, const char* (&values)[kKeyCount]) {
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        const XmlNode* node = cutil_xml_find(reply, "%s", kPolicyKeys[i].path);
        if (node == nullptr && kPolicyKeys[i].mandatory) return false;
        values[i] = node != nullptr && node->text != nullptr ? node->text : "";
    }
    return true;
}

}  // namespace

void UpdateIdentityAuthPolicy() {
    char device_id[kDeviceIdSize] = "";
    if (ReadConfigText("DeviceId", device_id, sizeof device_id) == 0) {
        return fail(__LINE__, "没有找到设备ID,可能是没有注册");
    }
    const XmlDocument request = autocheck::new_document(kPolicyManagerSource, kFunction, __LINE__);
    // A request without the device id would ask for another device's policy.
    if (request == nullptr ||
        !autocheck::append_text(request.get(), "TradeCode", "GetIdentityAuthPolicy") ||
        !autocheck::append_text(request.get(), "AgentID", device_id)) {
        return fail(__LINE__, "创建XML报文失败");
    }

    char web_url[kPathSize];
    char host[kHostSize];
    if (!ReadServerAddress(web_url, host, nullptr)) return fail(__LINE__, "没有找到检查页面");
    const XmlDocument reply = ServerExchange(host, request.get());
    if (reply == nullptr) return fail(__LINE__, "取身份认证策略失败");

    const char* values[kKeyCount];
    if (!read_policy(reply.get(), values)) return;  // incomplete: nothing changes
    for (std::size_t i = 0; i < kKeyCount; ++i) Call_TarnWriteConfig(kPolicyKeys[i].key, values[i]);
    Call_TarnLogToFile(kPolicyLogLine, values[0], values[1], values[2], values[3], values[4],
                       values[5]);
}
