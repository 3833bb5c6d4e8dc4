// One admission pass's time and the downloads that failed in it. A pass is
// the cycle of the thread that runs it, from authentication to the report:
// the policy update (the policy and every item definition), the checks and
// the modules their plug-ins need share one budget, so that a server that
// answers slowly or not at all cannot hold the cycle, and every forced check
// queued behind it, for as long as it likes.
#pragma once

#include <cstdint>

namespace autocheck {

// Working time of a pass. Far above a real pass (seconds); the re-check
// pause the administrator sets and the wait for the automatic repair are not
// counted (the repair wait has a bound of its own).
inline constexpr std::uint32_t kPassBudgetMs = 8 * 60 * 1000;

// Starts this thread's pass: the budget from now, no failed download.
void pass_begin();
// Ends it: outside a pass nothing is budgeted or remembered.
void pass_end();
// Time the pass waited on purpose, not counted against the budget.
void pass_exclude(std::uint32_t milliseconds);
// True when this thread's pass has used its budget; false outside a pass.
bool pass_budget_spent();
// What is left of it (0 once spent); the largest value outside a pass.
std::uint32_t pass_budget_left_ms();

// A module (its path or address) that could not be downloaded or was
// refused in this pass: not asked for again before the pass ends.
void pass_note_failed_download(const char* module_path);
bool pass_download_failed(const char* module_path);

}  // namespace autocheck
