// The policy's scalar parameters and the configuration keys they become: two
// tables, the nodes read and the keys written with their rules, walked in
// order.
#include <iterator>
#include <optional>

#include "autocheck/policy/update_steps.h"
#include "interface/config_access.h"

namespace autocheck::policy {
namespace {

// In the order of CheckParam. A missing node or a text that is no number
// reads as -1.
constexpr const char* kCheckParamPaths[] = {
    "TARN/SecurityCheckPolicy/CheckParam/CheckIntervalDay",
    "TARN/SecurityCheckPolicy/CheckParam/IsSafeCheck",
    "TARN/SecurityCheckPolicy/CheckParam/HideAssistant",
    "TARN/SecurityCheckPolicy/CheckParam/ReCheck",
    "TARN/SecurityCheckPolicy/CheckParam/ReCheckTime",
    "TARN/SecurityCheckPolicy/CheckParam/Disturb",
    "TARN/SecurityCheckPolicy/CheckParam/AuthInterval",
    "TARN/SecurityCheckPolicy/CheckParam/Navigation/IsShow",
};
static_assert(std::size(kCheckParamPaths) == kCheckParamCount);

struct KeyRule {
    const char* key;
    CheckParam source;
    std::optional<int> negative_becomes;  // empty: written as read
    std::optional<CheckParam> gate;       // the key is 0 unless this is greater than 0
};

// Written in this order.
constexpr KeyRule kKeyRules[] = {
    {"CheckPeriod", kCheckIntervalDay, 7, std::nullopt},
    {"IsDoSecurityCheck", kIsSafeCheck, std::nullopt, std::nullopt},
    {"IsHideIcon", kHideAssistant, 0, std::nullopt},
    {"CheckFailRecheckTime", kReCheckTime, 30, kReCheck},
    {"IsDisturb", kDisturb, 0, std::nullopt},
    {"AuthInterval", kAuthInterval, 1, std::nullopt},
    {"ShowNavigationMenu", kNavigationIsShow, 0, std::nullopt},
};

constexpr const char* kUnlawfulConnectionKeys[] = {"CheckDial", "CheckDoubleNetCard",
                                                   "CheckIsCanUseWWW"};

int key_value(const KeyRule& rule, const CheckParams& params) {
    if (rule.gate.has_value() && params[*rule.gate] <= 0) return 0;
    const int value = params[rule.source];
    return value < 0 ? rule.negative_becomes.value_or(value) : value;
}

}  // namespace

CheckParams read_check_params(const XmlNode* policy) {
    CheckParams params{};
    for (int i = 0; i < kCheckParamCount; ++i) {
        params.values[i] = cutil_xml_get_int(policy, "%s", kCheckParamPaths[i]);
    }
    return params;
}

void write_policy_keys(const CheckParams& params) {
    for (const KeyRule& rule : kKeyRules) WriteConfigInt(rule.key, key_value(rule, params));
}

void switch_off_unlawful_connection_checks() {
    for (const char* key : kUnlawfulConnectionKeys) Call_TarnWriteConfig(key, "No");
}

}  // namespace autocheck::policy
