#include "autocheck/check/verdict.h"

#include <cstring>

#include "cutil/text.h"

namespace autocheck::check {
namespace {

constexpr int kDefaultRate = 20;
constexpr char kNoFaultTime[] = "1970-01-01 00:00:00";
constexpr std::size_t kDateLength = 10;  // "YYYY-MM-DD"

// ASCII letters compared without case over at most `limit` characters; a
// missing text reads as "".
bool equal_ignoring_case(const char* a, const char* b, std::size_t limit = ~std::size_t{0}) {
    return cutil_str_niequal(a != nullptr ? a : "", b != nullptr ? b : "", limit) != 0;
}

struct FaultPeriod {
    int state;
    bool now;
    VerdictRule rule;
};

FaultPeriod decide_fault_period(int state, const CheckHistory& h) {
    if (state == kStateSuccess) return {state, true, VerdictRule::kAllPassed};
    if (state == kStateFalse) return {state, true, VerdictRule::kKeyItemFailed};
    if (h.repair_days <= 0) return {state, true, VerdictRule::kNoRepairPeriod};
    if (equal_ignoring_case(h.last_check_result, "success")) {
        return {state, true, VerdictRule::kLastCheckPassed};
    }
    if (equal_ignoring_case(h.last_check_result, "false")) {
        if (equal_ignoring_case(h.last_check_time, h.last_fault_time, kDateLength)) {
            return {state, true, VerdictRule::kFaultBeganLastDay};
        }
        return {kStateFalse, false, VerdictRule::kLastCheckFalse};
    }
    // A policy without LastFaultTime has no fault period on record either.
    if (h.last_fault_time == nullptr || equal_ignoring_case(h.last_fault_time, kNoFaultTime)) {
        return {state, true, VerdictRule::kNoFaultPeriodYet};
    }
    if (h.days_since_fault > h.repair_days) {
        return {kStateFalse, false, VerdictRule::kRepairPeriodOver};
    }
    return {state, false, VerdictRule::kWithinRepairPeriod};
}

}  // namespace

int item_rate(int rate) {
    return rate == -1 ? kDefaultRate : rate;
}

bool plugin_name_is_plain(const char* name) {
    return name != nullptr && name[0] != '\0' && std::strpbrk(name, "\\/:") == nullptr &&
           std::strstr(name, "..") == nullptr;
}

void tally_attempt(CheckTally* tally, int rate) {
    tally->total += rate;
    ++tally->attempted;
}

bool tally_judge(CheckTally* tally, int rate, const char* verdict, const char* key) {
    if (verdict == nullptr || std::strcmp(verdict, "Yes") == 0) {
        tally->passed += rate;
        ++tally->passed_items;
        return true;
    }
    if (tally->state != kStateFalse && key != nullptr) {
        tally->state = std::strcmp(key, "Yes") == 0 ? kStateFalse : kStateFault;
    }
    return false;
}

CheckOutcome decide_outcome(const CheckTally& tally, const CheckHistory& history) {
    const FaultPeriod period = decide_fault_period(tally.state, history);
    CheckOutcome outcome;
    outcome.state = period.state;
    outcome.fault_time_now = period.now;
    outcome.rule = period.rule;
    outcome.factor = period.state == kStateFalse ? 60 : 100;
    if (tally.total != 0) {
        outcome.score = outcome.factor * tally.passed / tally.total;
    } else {
        // Every attempted item weighs nothing: full marks only when all passed.
        outcome.score = tally.passed_items == tally.attempted ? outcome.factor : 0;
    }
    return outcome;
}

const char* state_text(int state) {
    switch (state) {
        case kStateSuccess:
            return "success";
        case kStateFault:
            return "fault";
        default:
            return "false";
    }
}

}  // namespace autocheck::check
