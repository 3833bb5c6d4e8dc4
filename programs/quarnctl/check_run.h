// quarnctl check: what one run of the security check engine did to each item
// of a policy, seen through the engine's notify routine.
#pragma once

#include <string>
#include <vector>

#include "autocheck/check/verdict.h"
#include "cutil/xml.h"

namespace quarnctl {

enum class ItemFate {
    kSkipped,   // no DLL or DLLFunc: not counted at all
    kRefused,   // its plug-in name is no plain file name
    kNoAnswer,  // the plug-in could not be called or its answer did not parse
    kAnswered,  // judged by its verdict
};

struct CheckedItem {
    std::string id;
    const char* key = nullptr;  // points into the policy; null without a Key
    int rate = 0;               // the weight that counts
    ItemFate fate = ItemFate::kSkipped;
    bool has_verdict = false;
    std::string verdict;
    std::string reason;
    bool passed = false;
};

struct CheckRun {
    int produced = 0;  // DoSecurityCheck's result
    XmlDocument result;
    std::vector<CheckedItem> items;
    autocheck::check::CheckTally tally;
    autocheck::check::CheckHistory history;
    autocheck::check::CheckOutcome outcome;  // as the engine decides it
};

// Runs DoSecurityCheck on `policy` and retraces its judgement with the
// engine's own rules. The configuration store must be in place.
CheckRun run_check_engine(XmlNode* policy);

// Prints one row per item, the score as its sum and the verdict with the
// rule that decided it.
void print_check_report(const CheckRun& run);

}  // namespace quarnctl
