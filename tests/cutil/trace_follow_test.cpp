// The follower: records come out whole and in order, however many passed
// through the ring, also the longest and the empty message.
#include "cutil/trace_follow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cutil/trace.h"
#include "os/process.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using cutil::trace::Record;
using TraceFollow = quarn::test::TraceRingTest;

// Takes this process's records until `count` came or a generous wait ran out.
std::vector<Record> take_mine(cutil::trace::Follower* follower, std::size_t count) {
    std::vector<Record> mine;
    std::vector<Record> batch;
    for (int waits = 0; mine.size() < count && waits < 100; ++waits) {
        follower->take(&batch, 200);
        for (const Record& record : batch) {
            if (record.process_id == os::process_id()) mine.push_back(record);
        }
    }
    return mine;
}

TEST_F(TraceFollow, EveryRecordComesOutWholeAndInOrder) {
    cutil::trace::Follower follower(&reader_);
    ASSERT_TRUE(follower.started());
    const std::string longest(cutil::trace::kMaxMessageLength, 'm');
    std::vector<std::string> sent;
    // Ten rounds of 100 (the ring holds 128), so nothing is lost to a slow
    // thread and the comparison is exact.
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 100; ++i) {
            std::string message = std::to_string(round * 100 + i);
            if (i == 0) message = round % 2 == 0 ? longest : "";
            LogTrace("FollowTest", kTraceInfo, "Follow", i, "%s", message.c_str());
            sent.push_back(message);
        }
        const std::vector<Record> got = take_mine(&follower, 100);
        ASSERT_EQ(100u, got.size()) << "round " << round;
        for (int i = 0; i < 100; ++i) {
            const cutil::trace::DecodedRecord r = cutil::trace::decode(got[i]);
            ASSERT_EQ(sent[round * 100 + i], r.message) << round << "/" << i;
            EXPECT_EQ(static_cast<std::uint32_t>(i), r.line);
            EXPECT_EQ("FollowTest", r.function);
            EXPECT_EQ(cutil::trace::kHeaderSize + r.message.size() + 1, r.length);
        }
    }
    EXPECT_EQ(0u, follower.dropped());
}

}  // namespace
