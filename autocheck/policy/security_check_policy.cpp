// UpdateSecurityCheckPolicy: the policy of this device's role and policy,
// each item's definition merged into its Item, stored as the policy file,
// its parameters copied into the configuration store. Every failure before
// the keys are written leaves file and keys as they were.
#include "autocheck/policy/security_check_policy.h"

#include "autocheck/policy/update_steps.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"

namespace autocheck::policy {
namespace {

constexpr char kPolicyTradeCode[] = "GetSecurityCheckPolicy";

// An identifier of the configuration store as an integer; 0 when unreadable.
int read_id(const char* key) {
    int value = 0;
    ReadConfigInt(key, &value);
    return value;
}

void write_policy_file(const XmlNode* policy) {
    char path[kPathSize];
    // A failed write is traced by the export; the update goes on regardless.
    if (gateway::assistant_file_path(kSecurityCheckPolicyFile, path)) {
        cutil_xml_export_to_file(path, policy);
    }
}

}  // namespace

void abandon(int line, const char* message) {
    LogTrace(kUpdateFunction, kTraceError, kPolicyManagerSource, line, "%s", message);
}

}  // namespace autocheck::policy

void UpdateSecurityCheckPolicy() {
    using namespace autocheck::policy;
    using autocheck::append_int;
    const int device_id = read_id("DeviceId");
    if (device_id == 0) return abandon(__LINE__, "没有找到设备ID， 可能是没有注册");
    XmlDocument request = new_request(kPolicyTradeCode, device_id);
    if (request == nullptr) return abandon(__LINE__, kCreateFailed);

    const int role_id = read_id("RoleId");
    if (role_id == 0) return abandon(__LINE__, "没有取到角色ID，安检策略更新失败");
    if (!append_int(request.get(), "RoleID", role_id)) return abandon(__LINE__, kCreateFailed);
    const int policy_id = read_id("PolicyId");
    if (policy_id == 0) return abandon(__LINE__, "没有取到策略ID，安检策略更新失败");
    if (!append_int(request.get(), "PolicyID", policy_id)) return abandon(__LINE__, kCreateFailed);

    char web_url[kPathSize];
    char host[kHostSize];
    if (!ReadServerAddress(web_url, host, nullptr)) return abandon(__LINE__, "没有找到检查页面");
    const XmlDocument policy = ServerExchange(host, request.get());
    if (policy == nullptr) return abandon(__LINE__, "取安检策略失败， 安检策略更新失败");
    request.reset();

    const CheckParams params = read_check_params(policy.get());
    ItemFindings findings;
    if (params[kIsSafeCheck] > 0 &&
        !merge_item_definitions(host, device_id, policy.get(), &findings)) {
        return;  // abandoned and traced
    }

    // Its text form is what the file would hold (-1: beyond any int).
    const int size = cutil_xml_export(policy.get(), nullptr, 0);
    if (size < 0 || size > kMaxPolicyFileBytes) {
        return abandon(__LINE__, "安检策略太大, 安检策略更新失败");
    }
    write_policy_keys(params);
    write_policy_file(policy.get());
    if (!findings.unlawful_connection) switch_off_unlawful_connection_checks();
    if (!findings.system_process) remove_process_monitor();
}
