// The report of quarnctl check: one row per item, the score as its sum, the
// verdict and the rule that decided it.
#include <cstdio>
#include <cstring>
#include <string>

#include "programs/quarnctl/check_run.h"
#include "programs/quarnctl/display.h"

namespace quarnctl {
namespace {

using autocheck::check::CheckOutcome;
using autocheck::check::VerdictRule;

const char* key_text(const char* key) {
    if (key == nullptr) return "-";
    return std::strcmp(key, "Yes") == 0 ? "yes" : "no";
}

std::string verdict_text(const CheckedItem& item) {
    switch (item.fate) {
        case ItemFate::kSkipped:
            return "skipped";
        case ItemFate::kRefused:
            return "refused";
        case ItemFate::kNoAnswer:
            return "no answer";
        case ItemFate::kAnswered:
            break;
    }
    return item.has_verdict ? printable(item.verdict) : "(none)";
}

void print_item(const CheckedItem& item) {
    const bool counted = item.fate != ItemFate::kSkipped;
    const std::string weight = counted ? std::to_string(item.rate) : "-";
    const std::string gained = counted ? std::to_string(item.passed ? item.rate : 0) : "-";
    std::printf("%-10s %-4s %6s  %-10s %6s  %s\n", printable(item.id).c_str(), key_text(item.key),
                weight.c_str(), verdict_text(item).c_str(), gained.c_str(),
                printable(item.reason).c_str());
}

std::string score_sum(const CheckRun& run) {
    const CheckOutcome& o = run.outcome;
    if (run.tally.total == 0) {
        return std::to_string(o.score) + (o.score != 0
                                              ? " (every weight is 0 and every item passed)"
                                              : " (every weight is 0 and an item did not pass)");
    }
    return std::to_string(o.score) + " = " + std::to_string(o.factor) + " × " +
           std::to_string(run.tally.passed) + " ÷ " + std::to_string(run.tally.total);
}

std::string rule_text(const CheckRun& run) {
    const auto& h = run.history;
    const std::string repair = std::to_string(h.repair_days);
    switch (run.outcome.rule) {
        case VerdictRule::kAllPassed:
            return "every item passed";
        case VerdictRule::kKeyItemFailed:
            return "a key item failed";
        case VerdictRule::kNoRepairPeriod:
            return "a non-key item failed and the policy grants no repair period";
        case VerdictRule::kLastCheckPassed:
            return "a non-key item failed after a passed check: a repair period of " + repair +
                   " days starts now";
        case VerdictRule::kFaultBeganLastDay:
            return "a non-key item failed; the previous check failed on the day the fault began";
        case VerdictRule::kLastCheckFalse:
            return "a non-key item failed and the previous check had failed already";
        case VerdictRule::kNoFaultPeriodYet:
            return "a non-key item failed and no fault is on record: a repair period of " + repair +
                   " days starts now";
        case VerdictRule::kRepairPeriodOver:
            return "the repair period is over: the fault began " +
                   std::to_string(h.days_since_fault) + " days ago, " + repair + " were granted";
        case VerdictRule::kWithinRepairPeriod:
            return "a non-key item failed within the repair period (day " +
                   std::to_string(h.days_since_fault) + " of " + repair + ")";
    }
    return "";
}

}  // namespace

void print_check_report(const CheckRun& run) {
    std::printf("%-10s %-4s %6s  %-10s %6s  %s\n", "item", "key", "weight", "verdict", "gained",
                "reason");
    for (const CheckedItem& item : run.items) print_item(item);
    const CheckOutcome& o = run.outcome;
    // "×" and "÷" are GBK literals like every text of the tree.
    std::printf("score   %s\n", printable(score_sum(run)).c_str());
    std::printf("result  %s: %s (fault time %s)\n", autocheck::check::state_text(o.state),
                rule_text(run).c_str(), o.fault_time_now ? "now" : "none");

    // The engine wrote its own verdict; the two differ only when the clock
    // moved on between them (the days since the fault began).
    const char* engine_result = cutil_xml_get(run.result.get(), "TARN/CheckResult");
    const char* engine_score = cutil_xml_get(run.result.get(), "TARN/CheckScore");
    if (engine_result == nullptr || engine_score == nullptr ||
        std::strcmp(engine_result, autocheck::check::state_text(o.state)) != 0 ||
        std::to_string(o.score) != engine_score) {
        std::fprintf(stderr, "quarnctl check: the engine reported %s with score %s\n",
                     engine_result != nullptr ? printable(engine_result).c_str() : "nothing",
                     engine_score != nullptr ? printable(engine_score).c_str() : "none");
    }
}

}  // namespace quarnctl
