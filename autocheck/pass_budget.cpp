#include "autocheck/pass_budget.h"

#include <cstdio>
#include <cstring>

#include "interface/assistant_dir.h"
#include "os/time.h"

namespace autocheck {
namespace {

// A pass rarely names more than a few modules; further failures are not
// remembered (each is then bounded by the budget alone).
constexpr int kFailedDownloadsKept = 16;

// Plain data: a fault guard may leave the pass without running destructors,
// and the next pass_begin starts afresh.
struct Pass {
    bool active;
    std::uint32_t started;
    std::uint32_t excluded;
    int failed_count;
    char failed[kFailedDownloadsKept][kPathSize];
};

thread_local Pass t_pass;

}  // namespace

void pass_begin() {
    t_pass.active = true;
    t_pass.started = os::tick_count();
    t_pass.excluded = 0;
    t_pass.failed_count = 0;
}

void pass_end() {
    t_pass.active = false;
    t_pass.failed_count = 0;
}

void pass_exclude(std::uint32_t milliseconds) {
    if (t_pass.active) t_pass.excluded += milliseconds;
}

bool pass_budget_spent() {
    return t_pass.active && os::tick_count() - t_pass.started - t_pass.excluded > kPassBudgetMs;
}

std::uint32_t pass_budget_left_ms() {
    if (!t_pass.active) return UINT32_MAX;
    const std::uint32_t used = os::tick_count() - t_pass.started - t_pass.excluded;
    return used < kPassBudgetMs ? kPassBudgetMs - used : 0;
}

void pass_note_failed_download(const char* module_path) {
    if (!t_pass.active || module_path == nullptr || pass_download_failed(module_path)) return;
    if (t_pass.failed_count == kFailedDownloadsKept) return;
    std::snprintf(t_pass.failed[t_pass.failed_count++], kPathSize, "%s", module_path);
}

bool pass_download_failed(const char* module_path) {
    if (!t_pass.active || module_path == nullptr) return false;
    for (int i = 0; i < t_pass.failed_count; ++i) {
        if (std::strcmp(t_pass.failed[i], module_path) == 0) return true;
    }
    return false;
}

}  // namespace autocheck
