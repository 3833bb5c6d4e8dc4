#include <gtest/gtest.h>

#include "os/seams.h"
#include "os/time.h"

namespace {

class FakeClockTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.local = {2012, 2, 3, 28, 23, 59, 59, 900};  // Tuesday 28 Feb 2012 (leap year)
        clock_.utc = {2012, 2, 2, 28, 15, 59, 59, 900};
        clock_.tick = 0xFFFFFF00u;
        os::seams::install_fake_clock(&clock_);
    }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }
    os::seams::FakeClock clock_;
};

TEST_F(FakeClockTest, ClocksReadTheFake) {
    EXPECT_EQ(0xFFFFFF00u, os::tick_count());
    const os::DateTime local = os::local_time();
    EXPECT_EQ(2012, local.year);
    EXPECT_EQ(23, local.hour);
    EXPECT_EQ(900, local.millisecond);
    EXPECT_EQ(15, os::utc_time().hour);
}

TEST_F(FakeClockTest, SleepAdvancesEverythingAtOnce) {
    os::sleep_ms(200);  // crosses midnight into the leap day
    const os::DateTime local = os::local_time();
    EXPECT_EQ(2, local.month);
    EXPECT_EQ(29, local.day);
    EXPECT_EQ(3, local.day_of_week);
    EXPECT_EQ(0, local.hour);
    EXPECT_EQ(0, local.minute);
    EXPECT_EQ(0, local.second);
    EXPECT_EQ(100, local.millisecond);
    EXPECT_EQ(16, os::utc_time().hour);
    EXPECT_EQ(0xFFFFFF00u + 200u, os::tick_count());
    os::sleep_ms(100);
    EXPECT_EQ(0x0000002Cu, os::tick_count()) << "tick wraps at 2^32";
    os::sleep_ms(86400000u);  // one day more: into March
    EXPECT_EQ(3, os::local_time().month);
    EXPECT_EQ(1, os::local_time().day);
    EXPECT_EQ(4, os::local_time().day_of_week);
}

TEST_F(FakeClockTest, RealSleepWhenNotInstant) {
    clock_.instant_sleep = false;
    const std::uint32_t tick = os::tick_count();
    os::sleep_ms(1);
    EXPECT_EQ(tick, os::tick_count()) << "the fake clock stands still";
}

TEST(Clock, RealClocksLookLikeDates) {
    const os::DateTime local = os::local_time();
    EXPECT_GE(local.year, 2020);
    EXPECT_GE(local.month, 1);
    EXPECT_LE(local.month, 12);
    EXPECT_LE(local.day_of_week, 6);
    EXPECT_LT(local.millisecond, 1000);
    const os::DateTime utc = os::utc_time();
    EXPECT_GE(utc.day, 1);
    EXPECT_LE(utc.day, 31);
}

TEST(Clock, TickCountFollowsASleep) {
    const std::uint32_t start = os::tick_count();
    os::sleep_ms(50);
    const std::uint32_t elapsed = os::tick_count() - start;
    EXPECT_GE(elapsed, 30u);  // GetTickCount moves in steps of up to 16 ms
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
