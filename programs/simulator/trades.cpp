#include "programs/simulator/trades.h"

#include "cutil/markup.h"
#include "cutil/xml.h"
#include "programs/simulator/recorder.h"

namespace simulator {
namespace {

constexpr char kNoTime[] = "1970-01-01 00:00:00";

std::string field(const XmlNode* request, const char* path) {
    const char* text = cutil_xml_get(request, "%s", path);
    return text != nullptr ? text : "";
}

std::string element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + cutil_markup_escape(text) + "</" + name + ">";
}

std::string document(const std::string& children) {
    return "<TARN>" + children + "</TARN>";
}

const std::string kAcknowledged = document(element("Result", "ok"));

void query_device(ServerState& state, const XmlNode* request, std::uint32_t from_ip,
                  TradeAnswer* answer) {
    const std::string computer = field(request, "TARN/ComputerName");
    const std::string mac = field(request, "TARN/Mac");
    const auto device = state.register_device(computer, mac, from_ip);
    // An unknown device is told it is not registered: the agent stores id 0.
    answer->device_id = device ? device->id : "0";
    const bool forbidden = device && device->forbidden;
    answer->reply = document(element("AgentID", answer->device_id) +
                             element("IsForbid", forbidden ? "Yes" : "No"));
    answer->note["computer_name"] = utf8(computer);
}

void identity_policy(const ServerState& state, TradeAnswer* answer) {
    const Scenario& scenario = state.scenario();
    std::string children = scenario.identity_policy;
    if (!scenario.current_enforce_type.empty()) {
        children += element("CurrentEnforceType", scenario.current_enforce_type);
    }
    answer->reply = document(children);
}

void check_policy(const ServerState& state, const XmlNode* request, TradeAnswer* answer) {
    const Scenario& scenario = state.scenario();
    const std::string policy_id = field(request, "TARN/PolicyID");
    auto found = scenario.check_policies.find(policy_id);
    if (found == scenario.check_policies.end()) found = scenario.check_policies.find("*");
    answer->note["policy_id"] = utf8(policy_id);
    if (found == scenario.check_policies.end()) {
        // No policy for it: the agent reads no IsSafeCheck and checks nothing.
        answer->reply = document(element("Error", "no such policy"));
        return;
    }
    std::string fault_time = kNoTime, check_time = kNoTime, check_result = "none";
    if (const auto device = state.device(answer->device_id)) {
        fault_time = device->fault_since;
        if (device->last_check) {
            check_time = device->last_check->time;
            check_result = device->last_check->result;
        }
    }
    answer->reply =
        document(found->second + element("LastFaultTime", fault_time) +
                 element("LastCheckTime", check_time) + element("LastCheckResult", check_result));
}

void check_item(const ServerState& state, const XmlNode* request, TradeAnswer* answer) {
    const std::string item_id = field(request, "TARN/ItemId");
    answer->note["item_id"] = utf8(item_id);
    const auto& items = state.scenario().check_items;
    const auto found = items.find(item_id);
    answer->reply =
        found != items.end() ? document(found->second) : document(element("Error", "no such item"));
}

void auth_report(ServerState& state, const XmlNode* request, TradeAnswer* answer) {
    const std::string result = field(request, "TARN/Result");
    state.note_auth_report(answer->device_id, result);
    answer->note["result"] = utf8(result);
    answer->note["role_id"] = utf8(field(request, "TARN/RoleID"));
    answer->reply = kAcknowledged;
}

void check_report(ServerState& state, const XmlNode* request, TradeAnswer* answer) {
    CheckRecord check;
    check.device_id = answer->device_id;
    check.result = field(request, "TARN/CheckResult");
    check.score = field(request, "TARN/CheckScore");
    check.update_fault_time = field(request, "TARN/UpdateFaultTime");
    check.time = time_text();
    const auto& names = state.scenario().item_names;
    const int count = cutil_xml_count(request, "TARN/Result");
    for (int i = 1; i <= count; ++i) {
        CheckItemResult item;
        const char* id = cutil_xml_get(request, "TARN/Result[%d]/ItemID", i);
        const char* key = cutil_xml_get(request, "TARN/Result[%d]/Key", i);
        const char* verdict = cutil_xml_get(request, "TARN/Result[%d]/CheckType/Result", i);
        const char* reason = cutil_xml_get(request, "TARN/Result[%d]/CheckType/Reason", i);
        item.item_id = id != nullptr ? id : "";
        const auto name = names.find(item.item_id);
        item.name = name != names.end() ? name->second : item.item_id;
        item.key = key != nullptr && std::string(key) == "Yes";
        // As the agent judges: no verdict passes, anything but "Yes" fails.
        item.passed = verdict == nullptr || std::string(verdict) == "Yes";
        item.reason = reason != nullptr ? reason : "";
        check.items.push_back(item);
    }
    const std::string check_id = state.note_check(check);
    answer->note["result"] = utf8(check.result);
    answer->note["score"] = utf8(check.score);
    answer->note["check_id"] = check_id;
    answer->reply = document(element("LastCheckId", check_id));
}

}  // namespace

TradeAnswer answer_trade(ServerState& state, const XmlNode* request, std::uint32_t from_ip) {
    TradeAnswer answer;
    answer.trade_code = field(request, "TARN/TradeCode");
    answer.device_id = field(request, "TARN/AgentID");
    if (!answer.device_id.empty()) state.note_contact(answer.device_id, from_ip);
    const std::string& code = answer.trade_code;
    if (code == "QueryDevInfo") {
        query_device(state, request, from_ip, &answer);
    } else if (code == "GetIdentityAuthPolicy") {
        identity_policy(state, &answer);
    } else if (code == "GetSecurityCheckPolicy") {
        check_policy(state, request, &answer);
    } else if (code == "GetSecurityCheckItem") {
        check_item(state, request, &answer);
    } else if (code == "ReportAuthResult") {
        auth_report(state, request, &answer);
    } else if (code == "ReportCheckResult") {
        check_report(state, request, &answer);
    } else if (code == "HeartTest" || code == "ComputerWakeup") {
        answer.reply = kAcknowledged;
    } else {
        // Answered all the same, so that the agent does not wait out its retries.
        answer.reply = document(element("Error", "unknown trade code"));
        answer.note["unknown"] = true;
    }
    return answer;
}

}  // namespace simulator
