#include "siblings/QuarnAssCommunicate/drop_log.h"

#include <atomic>

#include "cutil/trace.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr std::uint32_t kTraceIntervalMs = 60 * 1000;

std::atomic<std::uint64_t> g_counts[7];
std::atomic<bool> g_traced{false};
std::atomic<std::uint32_t> g_last_trace{0};

// True for the first drop and then at most once per interval.
bool time_to_trace() {
    const std::uint32_t now = os::tick_count();
    std::uint32_t last = g_last_trace.load(std::memory_order_relaxed);
    if (g_traced.load(std::memory_order_relaxed) && now - last < kTraceIntervalMs) return false;
    if (!g_last_trace.compare_exchange_strong(last, now, std::memory_order_relaxed)) return false;
    g_traced.store(true, std::memory_order_relaxed);
    return true;
}

std::uint64_t count(Drop drop) {
    return g_counts[static_cast<int>(drop)].load(std::memory_order_relaxed);
}

}  // namespace

void note_drop(Drop drop, const char* function) {
    g_counts[static_cast<int>(drop)].fetch_add(1, std::memory_order_relaxed);
    if (drop == Drop::kMalformed || !time_to_trace()) return;
    LogTrace(function, kTraceError, kTraceSource, __LINE__,
             "丢弃未通过认证的报文: 未签名 %llu, 签名错误 %llu, 重放 %llu, 本地连接拒绝 %llu, "
             "未加密推送 %llu, 无法解密推送 %llu",
             static_cast<unsigned long long>(count(Drop::kUntagged)),
             static_cast<unsigned long long>(count(Drop::kBadTag)),
             static_cast<unsigned long long>(count(Drop::kReplayed)),
             static_cast<unsigned long long>(count(Drop::kLocalRefused)),
             static_cast<unsigned long long>(count(Drop::kUnsealed)),
             static_cast<unsigned long long>(count(Drop::kBadSeal)));
}

void note_drop(Verdict verdict, const char* function) {
    switch (verdict) {
        case Verdict::kAccepted:
            return;
        case Verdict::kMalformed:
            note_drop(Drop::kMalformed, function);
            return;
        case Verdict::kUntagged:
            note_drop(Drop::kUntagged, function);
            return;
        case Verdict::kBadTag:
            note_drop(Drop::kBadTag, function);
            return;
    }
}

DropCounts drop_counts() {
    DropCounts counts;
    counts.malformed = count(Drop::kMalformed);
    counts.untagged = count(Drop::kUntagged);
    counts.bad_tag = count(Drop::kBadTag);
    counts.replayed = count(Drop::kReplayed);
    counts.local_refused = count(Drop::kLocalRefused);
    counts.unsealed = count(Drop::kUnsealed);
    counts.bad_seal = count(Drop::kBadSeal);
    return counts;
}

}  // namespace communicate
