// quarnctl trace: be the trace reader and print what LogTrace records.
#include <cstdio>
#include <string>
#include <vector>

#include "cutil/trace_follow.h"
#include "cutil/trace_ring.h"
#include "os/error.h"
#include "os/event.h"
#include "os/time.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/options.h"

namespace quarnctl {
namespace {

constexpr std::uint32_t kCollectMs = 1000;
constexpr std::uint32_t kFollowWaitMs = 200;
// The ring holds 128 records; look at least this often while collecting so
// that a burst does not overwrite slot 0.
constexpr std::uint32_t kLongestLookMs = 100;

std::string level_name(std::uint32_t level) {
    if (level == 1) return "ERROR";
    if (level == 2) return "INFO ";
    return "L" + std::to_string(level);
}

void print_record(const cutil::trace::Record& raw) {
    const cutil::trace::DecodedRecord r = cutil::trace::decode(raw);
    std::printf("%s %s %s [%u/%u] %s %s:%u %s: %s\n", level_name(r.level).c_str(),
                printable(r.date).c_str(), printable(r.time).c_str(),
                static_cast<unsigned>(r.process_id), static_cast<unsigned>(r.thread_id),
                printable(r.module).c_str(), printable(r.source).c_str(),
                static_cast<unsigned>(r.line), printable(r.function).c_str(),
                printable(r.message).c_str());
}

void print_all(const std::vector<cutil::trace::Record>& records) {
    for (const cutil::trace::Record& record : records) print_record(record);
    std::fflush(stdout);
}

void drain_and_print(cutil::trace::Reader* reader) {
    std::vector<cutil::trace::Record> records;
    if (!reader->drain(&records)) {
        std::fprintf(stderr, "quarnctl trace: the ring stayed taken; will try again\n");
        return;
    }
    print_all(records);
}

// Printing is slow next to a burst of writers: the ring is drained on a
// thread of its own the moment the read event fires, and printed here.
[[noreturn]] void follow(cutil::trace::Reader* reader, std::uint32_t interval) {
    cutil::trace::Follower follower(reader);
    while (!follower.started()) {  // no thread to spare: drain between prints
        reader->wait_for_records(interval);
        drain_and_print(reader);
    }
    std::vector<cutil::trace::Record> records;
    std::uint64_t failed = 0;
    std::uint64_t dropped = 0;
    for (;;) {
        if (follower.take(&records, interval)) print_all(records);
        if (follower.failed_drains() != failed) {
            failed = follower.failed_drains();
            std::fprintf(stderr, "quarnctl trace: the ring stayed taken; will try again\n");
        }
        if (follower.dropped() != dropped) {
            dropped = follower.dropped();
            std::fprintf(stderr, "quarnctl trace: %llu records dropped: the display fell behind\n",
                         static_cast<unsigned long long>(dropped));
        }
    }
}

}  // namespace

int run_trace(int argc, char** argv) {
    Options options;
    if (!options.parse("trace", argc, argv, {{"--follow", false}, {"--interval", true}})) {
        return 2;
    }
    const bool following = options.has("--follow");
    std::uint32_t interval = 0;
    if (!options.milliseconds("--interval", following ? kFollowWaitMs : kCollectMs, &interval)) {
        return 2;
    }

    // The reader owns the ring: it lives as long as this object.
    cutil::trace::Reader reader;
    if (reader.create(0) && !reader.holds_turn()) {
        // Two readers would split the records between them.
        std::fprintf(stderr, "quarnctl trace: waiting for the other trace reader to end\n");
        reader.close();
        reader.create(os::kWaitInfinite);
    }
    if (!reader.is_open()) {
        std::fprintf(stderr, "quarnctl trace: cannot create the trace ring (error %u)\n",
                     static_cast<unsigned>(os::last_error()));
        return 1;
    }
    if (following) follow(&reader, interval);
    const std::uint32_t start = os::tick_count();
    for (;;) {
        const std::uint32_t elapsed = os::tick_count() - start;
        if (elapsed >= interval) break;
        const std::uint32_t left = interval - elapsed;
        reader.wait_for_records(left < kLongestLookMs ? left : kLongestLookMs);
        drain_and_print(&reader);
    }
    drain_and_print(&reader);
    return 0;
}

}  // namespace quarnctl
