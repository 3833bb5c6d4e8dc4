// A 20,000-record LogTrace burst at full speed against a reader that prints
// every record to a file as quarnctl trace --follow does: the reader that
// drains and prints on one thread (as the follow loop did before) against
// the follower, which drains on a thread of its own. "received_pct" is the
// share of the burst that reached the printout; the ring holds 128 records
// and a full ring overwrites slot 0, so what the reader misses is lost.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "cutil/trace.h"
#include "cutil/trace_follow.h"
#include "cutil/trace_ring.h"

namespace {

using cutil::trace::Record;

constexpr int kBurst = 20000;
constexpr std::uint32_t kQuietMs = 300;  // no record for this long: the burst is over

void print(std::FILE* out, const std::vector<Record>& records) {
    for (const Record& raw : records) {
        const cutil::trace::DecodedRecord r = cutil::trace::decode(raw);
        std::fprintf(out, "%u %s %s [%u/%u] %s %s:%u %s: %s\n", r.level, r.date.c_str(),
                     r.time.c_str(), r.process_id, r.thread_id, r.module.c_str(), r.source.c_str(),
                     r.line, r.function.c_str(), r.message.c_str());
    }
    std::fflush(out);
}

// Drains and prints on one thread until the burst is over and the ring is
// quiet; returns the records printed.
long same_thread(cutil::trace::Reader* reader, const std::atomic<bool>& sent, std::FILE* out) {
    std::vector<Record> records;
    long received = 0;
    for (;;) {
        const bool signalled = reader->wait_for_records(kQuietMs);
        if (reader->drain(&records)) {
            print(out, records);
            received += static_cast<long>(records.size());
        }
        if (!signalled && records.empty() && sent) return received;
    }
}

long own_thread(cutil::trace::Reader* reader, const std::atomic<bool>& sent, std::FILE* out) {
    cutil::trace::Follower follower(reader);
    std::vector<Record> records;
    long received = 0;
    for (;;) {
        if (follower.take(&records, kQuietMs)) {
            print(out, records);
            received += static_cast<long>(records.size());
        } else if (sent) {
            return received;
        }
    }
}

template <long (*Reading)(cutil::trace::Reader*, const std::atomic<bool>&, std::FILE*)>
void BM_TraceBurst(benchmark::State& state) {
    cutil::trace::Reader reader;
    std::FILE* out = std::tmpfile();
    if (!reader.create() || out == nullptr) {
        state.SkipWithError("cannot create the trace ring or the printout");
        return;
    }
    double received = 0;
    double burst = 0;
    for (auto _ : state) {
        std::atomic<bool> sent{false};
        long got = 0;
        std::thread printer([&] { got = Reading(&reader, sent, out); });
        for (int i = 0; i < kBurst; ++i) {
            LogTrace("BM_TraceBurst", kTraceInfo, "bench_trace.cpp", __LINE__,
                     "record %d of the burst", i);
        }
        sent = true;
        printer.join();
        received += static_cast<double>(got);
        burst += kBurst;
    }
    std::fclose(out);
    state.counters["received_pct"] = 100.0 * received / burst;
    state.counters["records_per_s"] = benchmark::Counter(burst, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TraceBurst<same_thread>)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TraceBurst<own_thread>)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
