#include "programs/quarnctl/check_run.h"

#include "autocheck/check/security_check.h"
#include "interface/system_helpers.h"

namespace quarnctl {
namespace {

#define QUARN_ITEM "TARN/SecurityCheckPolicy/CheckItems/Item[%d]"

using namespace autocheck::check;

// What the notify routine saw; the routine has no context argument, and
// the tool runs one check at a time.
struct Observation {
    XmlNode* policy = nullptr;
    std::vector<CheckedItem>* items = nullptr;
    int current = -1;  // the item whose plug-in is being called
};
Observation* g_observation = nullptr;

int QUARN_CDECL observe(XmlNode* node, int phase) {
    Observation* seen = g_observation;
    if (seen == nullptr || node == nullptr) return 0;
    if (phase == 1) {
        seen->current = -1;
        for (std::size_t k = 0; k < seen->items->size(); ++k) {
            if (cutil_xml_find(seen->policy, QUARN_ITEM "/CheckType", static_cast<int>(k + 1)) ==
                node) {
                seen->current = static_cast<int>(k);
            }
        }
        return 0;
    }
    if (seen->current < 0) return 0;
    CheckedItem& item = (*seen->items)[static_cast<std::size_t>(seen->current)];
    item.fate = ItemFate::kAnswered;
    const char* verdict = cutil_xml_get(node, "Result/CheckType/Result");
    const char* reason = cutil_xml_get(node, "Result/CheckType/Reason");
    item.has_verdict = verdict != nullptr;
    item.verdict = verdict != nullptr ? verdict : "";
    item.reason = reason != nullptr ? reason : "";
    return 0;
}

// The items as the policy gives them, before the engine runs.
std::vector<CheckedItem> policy_items(XmlNode* policy) {
    std::vector<CheckedItem> items;
    const int count = cutil_xml_count(policy, "TARN/SecurityCheckPolicy/CheckItems/Item");
    for (int k = 1; k <= count; ++k) {
        CheckedItem item;
        const char* id = cutil_xml_get(policy, QUARN_ITEM "/ItemID", k);
        item.id = id != nullptr ? id : "";
        item.key = cutil_xml_get(policy, QUARN_ITEM "/Key", k);
        item.rate = item_rate(cutil_xml_get_int(policy, QUARN_ITEM "/Rate", k));
        const char* dll = cutil_xml_get(policy, QUARN_ITEM "/CheckType/DLL", k);
        const char* function = cutil_xml_get(policy, QUARN_ITEM "/CheckType/DLLFunc", k);
        if (dll != nullptr && function != nullptr) {
            item.fate = plugin_name_is_plain(dll) ? ItemFate::kNoAnswer : ItemFate::kRefused;
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

CheckRun run_check_engine(XmlNode* policy) {
    CheckRun run;
    run.items = policy_items(policy);
    Observation seen;
    seen.policy = policy;
    seen.items = &run.items;
    g_observation = &seen;
    XmlNode* result = nullptr;
    run.produced = DoSecurityCheck(policy, &result, observe);
    g_observation = nullptr;
    run.result.reset(result);

    // The same judgement as the engine's, item by item.
    for (CheckedItem& item : run.items) {
        if (item.fate == ItemFate::kSkipped) continue;
        tally_attempt(&run.tally, item.rate);
        if (item.fate != ItemFate::kAnswered) continue;
        item.passed = tally_judge(&run.tally, item.rate,
                                  item.has_verdict ? item.verdict.c_str() : nullptr, item.key);
    }
    CheckHistory& history = run.history;
    const int repair_days = cutil_xml_get_int(policy, "TARN/SecurityCheckPolicy/RepairConf");
    history.repair_days = repair_days > 0 ? repair_days : 0;
    history.last_check_result = cutil_xml_get(policy, "TARN/LastCheckResult");
    history.last_check_time = cutil_xml_get(policy, "TARN/LastCheckTime");
    history.last_fault_time = cutil_xml_get(policy, "TARN/LastFaultTime");
    history.days_since_fault = DaysSinceTime(history.last_fault_time, nullptr, nullptr);
    run.outcome = decide_outcome(run.tally, history);
    return run;
}

}  // namespace quarnctl
