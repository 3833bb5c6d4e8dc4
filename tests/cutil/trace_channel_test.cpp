// The ring between processes: no reader, overflow into slot 0, writers in a
// second process and on several threads, a ring held too long.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "cutil/trace.h"
#include "cutil/trace_ring.h"
#include "cutil/trace_turn.h"
#include "os/error.h"
#include "os/event.h"
#include "os/process.h"
#include "os/time.h"
#include "support/helper_process.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using cutil::trace::DecodedRecord;
using quarn::test::TraceRingTest;

constexpr char kWriterFunction[] = "ChannelWriter";

struct WriterJob {
    int thread_index;
    int count;
};

// Writes `count` records "<process>-<thread>-<i>" at information level.
std::uint32_t write_records(void* argument) {
    const auto* job = static_cast<const WriterJob*>(argument);
    for (int i = 0; i < job->count; ++i) {
        LogTrace(kWriterFunction, kTraceInfo, "Channel", i, "%u-%d-%d",
                 static_cast<unsigned>(os::process_id()), job->thread_index, i);
    }
    return 0;
}

// Runs `threads` writers at once and waits for them.
bool write_on_threads(int threads, int count) {
    WriterJob jobs[8];
    os::Handle handles[8] = {};
    bool ok = threads <= 8;
    for (int t = 0; ok && t < threads; ++t) {
        jobs[t] = WriterJob{t, count};
        handles[t] = os::thread_start(write_records, &jobs[t]);
        ok = handles[t] != nullptr;
    }
    for (int t = 0; t < threads; ++t) {
        if (handles[t] == nullptr) continue;
        ok = os::handle_wait(handles[t], 30000) && ok;
        os::handle_close(handles[t]);
    }
    return ok;
}

QUARN_TEST_HELPER(trace_writer) {
    if (argc < 2) return 2;
    return write_on_threads(std::atoi(argv[0]), std::atoi(argv[1])) ? 0 : 1;
}

std::uint32_t ring_count(const cutil::trace::Reader& reader) {
    std::uint32_t count;
    std::memcpy(&count, static_cast<const char*>(reader.ring()) + cutil::trace::kCountOffset,
                sizeof count);
    return count;
}

TEST(TraceWithoutReader, RecordsNothingAndCreatesNothing) {
    // Holding the readers' turn keeps other test programs' readers away.
    ASSERT_TRUE(cutil::trace::turn_take(cutil::trace::kTraceReaderTurnName, 30000));
    os::Handle existing = os::event_open(cutil::trace::kReadEventName);
    if (existing != nullptr) {
        os::event_close(existing);
        cutil::trace::turn_give(cutil::trace::kTraceReaderTurnName);
        GTEST_SKIP() << "a reader that takes no turn is running on this machine";
    }
    os::set_last_error(os::kErrorAccessDenied);
    LogTrace("NoReader", kTraceError, "Channel", 1, "dropped %d", 1);
    LogTrace("NoReader", kTraceInfo, "Channel", 2, "dropped %s", "too");

    EXPECT_EQ(nullptr, os::event_open(cutil::trace::kReadEventName));
    EXPECT_EQ(nullptr, os::event_open(cutil::trace::kWriteEventName));
    cutil::trace::Reader reader;  // shares this process's turn
    ASSERT_TRUE(reader.create());
    std::vector<cutil::trace::Record> records;
    ASSERT_TRUE(reader.drain(&records));
    for (const auto& record : records) EXPECT_NE(os::process_id(), record.process_id);
    reader.close();
    cutil::trace::turn_give(cutil::trace::kTraceReaderTurnName);
}

QUARN_TEST_HELPER(turn_holder) {
    if (argc < 1) return 3;
    cutil::trace::Reader reader;
    if (!reader.create(30000) || !reader.holds_turn()) return 1;
    os::Handle ready = os::event_open(argv[0]);
    if (ready == nullptr) return 2;
    os::event_set(ready);
    os::sleep_ms(1000);
    std::_Exit(0);  // dies holding the turn, as a killed reader does
}

TEST(TraceReaderTurn, ASecondReaderWaitsAndSurvivesAHolderThatDied) {
    const std::string ready_name =
        "Global\\QuarnTest_TurnHolderReady." + std::to_string(os::process_id());
    os::Handle ready = os::event_create(ready_name.c_str(), os::EventReset::kManual, false);
    ASSERT_NE(nullptr, ready);
    os::Handle holder = quarn::test::spawn_helper("turn_holder", {ready_name.c_str()});
    ASSERT_NE(nullptr, holder);
    ASSERT_EQ(0, os::event_wait(ready, 40000));
    os::event_close(ready);

    cutil::trace::Reader reader;
    EXPECT_TRUE(reader.create(0));
    EXPECT_FALSE(reader.holds_turn());  // the helper has it
    reader.close();
    EXPECT_TRUE(reader.create(20000));
    EXPECT_TRUE(reader.holds_turn());
    EXPECT_EQ(0, quarn::test::wait_helper(holder));
}

using TraceChannelTest = TraceRingTest;

TEST_F(TraceChannelTest, FullRingOverwritesSlotZeroAndKeepsTheCount) {
    // Another program tracing at the same moment would shift the slots; try
    // again when a foreign record shows up.
    for (int attempt = 0; attempt < 5; ++attempt) {
        drain_raw();
        for (int i = 0; i < 128; ++i) LogTrace("Fill", kTraceInfo, "Channel", i, "fill %d", i);
        ASSERT_EQ(128u, ring_count(reader_));
        LogTrace("Over", kTraceInfo, "Channel", 999, "overflow");
        EXPECT_EQ(128u, ring_count(reader_));

        const auto records = drain();
        if (records.size() != 128) continue;  // a foreign record took a slot
        EXPECT_EQ("overflow", records[0].message);
        for (int i = 1; i < 128; ++i) {
            EXPECT_EQ("fill " + std::to_string(i), records[i].message) << "slot " << i;
        }
        // The reader emptied the ring: the next record takes slot 0 again.
        EXPECT_EQ(0u, ring_count(reader_));
        LogTrace("After", kTraceInfo, "Channel", 1, "after");
        EXPECT_EQ(1u, ring_count(reader_));
        return;
    }
    FAIL() << "other programs kept tracing into the ring";
}

TEST_F(TraceChannelTest, WritersOnThreadsOfTwoProcessesLoseNothing) {
    // 2 x 25 records here and 2 x 25 in the helper, all at once: fewer than
    // the 128 slots, so every record must arrive whole.
    os::Handle helper = quarn::test::spawn_helper("trace_writer", {"2", "25"});
    ASSERT_NE(nullptr, helper);
    EXPECT_TRUE(write_on_threads(2, 25));
    ASSERT_EQ(0, quarn::test::wait_helper(helper));

    // Every record arrives whole, and each writer's records in its order.
    std::vector<cutil::trace::Record> all;
    ASSERT_TRUE(reader_.drain(&all));
    std::set<std::string> messages;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> next_line;
    for (const auto& raw : all) {
        const DecodedRecord record = cutil::trace::decode(raw);
        if (record.function != kWriterFunction) continue;
        EXPECT_EQ(240 + record.message.size() + 1, record.length);
        EXPECT_EQ(0u, record.message.rfind(std::to_string(record.process_id) + "-", 0));
        messages.insert(record.message);
        EXPECT_EQ(next_line[std::make_pair(record.process_id, record.thread_id)]++, record.line);
    }
    EXPECT_EQ(100u, messages.size());
    EXPECT_EQ(4u, next_line.size());
    const auto here = std::count_if(next_line.begin(), next_line.end(), [](const auto& writer) {
        return writer.first.first == os::process_id();
    });
    EXPECT_EQ(2, here);  // the other two threads are the helper's
}

TEST_F(TraceChannelTest, RingHeldTooLongDropsTheRecordAndGivesTheEventsBack) {
    reader_.wait_for_records(0);
    os::Handle write_event = os::event_open(cutil::trace::kWriteEventName);
    ASSERT_NE(nullptr, write_event);
    ASSERT_EQ(0, os::event_wait(write_event, 2000));  // the ring is now taken

    const std::uint32_t start = os::tick_count();
    LogTrace("Held", kTraceInfo, "Channel", 1, "too late");
    const std::uint32_t waited = os::tick_count() - start;
    os::event_close(write_event);

    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 5000u);
    // Set all the same: the reader takes the ring at once and finds nothing.
    EXPECT_TRUE(reader_.wait_for_records(0));
    std::vector<cutil::trace::Record> all;
    ASSERT_TRUE(reader_.drain(&all, 0));
    for (const auto& record : all) {
        EXPECT_NE(std::string("Held"), cutil::trace::decode(record).function);
    }
}

}  // namespace
