// How a security check judges its items and reaches its overall verdict:
// plain functions without side effects, shared by the engine behind
// DoSecurityCheck and by `quarnctl check`, which explains a verdict with the
// very rule that made it.
#pragma once

namespace autocheck::check {

// The overall state of a check while its items are judged.
enum CheckState : int {
    kStateFalse = 1,    // a key item failed, or the repair grace period ran out
    kStateFault = 2,    // a non-key item failed
    kStateSuccess = 3,  // every judged item passed
};

// The weight of an item: its Rate, 20 when the Rate is absent or no number
// (read as -1).
int item_rate(int rate);

// A plug-in named by the server must be a plain file name of the download
// folder: no path separator, no drive colon, no "..", not empty.
bool plugin_name_is_plain(const char* name);

// What the items of one check add up to.
struct CheckTally {
    int state = kStateSuccess;
    long long total = 0;   // weights of the items attempted
    long long passed = 0;  // weights of the items that passed
    int attempted = 0;
    int passed_items = 0;
};

// An item with a plug-in to call: its weight counts, whether or not the
// plug-in answers.
void tally_attempt(CheckTally* tally, int rate);
// Judges an answered item by its plug-in's verdict: no verdict or exactly
// "Yes" passes. A failed item with a Key text turns the state to false when
// the Key is exactly "Yes", to fault otherwise, unless it is false already.
// True when the item passed.
bool tally_judge(CheckTally* tally, int rate, const char* verdict, const char* key);

// Which rule settled the overall verdict.
enum class VerdictRule {
    kAllPassed,           // success
    kKeyItemFailed,       // false
    kNoRepairPeriod,      // fault, RepairConf 0: the fault period starts now
    kLastCheckPassed,     // fault after a passed check: the fault period starts now
    kFaultBeganLastDay,   // fault after a false check of the day the fault began
    kLastCheckFalse,      // fault after a false check of a later day: false
    kNoFaultPeriodYet,    // fault, no fault period on record: it starts now
    kRepairPeriodOver,    // fault period older than RepairConf days: false
    kWithinRepairPeriod,  // fault period within RepairConf days: fault
};

// The server's record of earlier checks, as the policy carries it.
struct CheckHistory {
    int repair_days = 0;                      // RepairConf, negative read as 0
    const char* last_check_result = nullptr;  // LastCheckResult
    const char* last_check_time = nullptr;    // LastCheckTime
    const char* last_fault_time = nullptr;    // LastFaultTime
    int days_since_fault = 0;                 // DaysSinceTime(LastFaultTime)
};

struct CheckOutcome {
    int state = kStateSuccess;
    bool fault_time_now = true;  // UpdateFaultTime "now", else "none"
    VerdictRule rule = VerdictRule::kAllPassed;
    int factor = 100;     // 100 for success and fault, 60 for false
    long long score = 0;  // factor × passed ÷ total
};

// The final state, the fault-period instruction and the score.
CheckOutcome decide_outcome(const CheckTally& tally, const CheckHistory& history);

// "success", "fault" or "false".
const char* state_text(int state);

}  // namespace autocheck::check
