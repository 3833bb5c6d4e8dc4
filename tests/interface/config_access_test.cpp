// The configuration store access and its integer forms, through the double
// of QuarnAssConfigMgr.dll.
#include "interface/config_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "os/memory.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using quarn::test::FakeModule;

class ConfigAccess : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(quarn::test::fake_path("QuarnAssConfigMgr.dll")));
    }

    // The callers' pattern: preset "Failed", copy a found value bounded.
    std::string read_with_failed_preset(const char* key) {
        char buffer[64] = "Failed";
        char* value = nullptr;
        if (Call_TarnReadConfig(key, &value) != 0 && value != nullptr) {
            std::strncpy(buffer, value, sizeof buffer - 1);
            buffer[sizeof buffer - 1] = '\0';
            os::global_free(value);
        }
        return buffer;
    }

    FakeModule config_;
    quarn::test::TraceCapture traces_;
};

TEST_F(ConfigAccess, FailedPresetStaysForAMissingKeyAndTheReadIsTraced) {
    traces_.clear();
    EXPECT_EQ("Failed", read_with_failed_preset("CheckUrl"));
    const auto found = traces_.find("Call_TarnReadConfig");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(1u, found[0].level);
    EXPECT_GBK_EQ("读取配置失败: CheckUrl = ?", found[0].message.substr(0, 26));
}

TEST_F(ConfigAccess, WrittenValueIsReadBackAsANewBlock) {
    ASSERT_NE(0, Call_TarnWriteConfig("LastAuthType", "用户"));
    EXPECT_GBK_EQ("用户", read_with_failed_preset("LastAuthType"));
}

TEST_F(ConfigAccess, RefusedWriteIsTracedWithKeyAndValue) {
    config_.answer("TarnWriteConfig", 0);
    traces_.clear();
    EXPECT_EQ(0, Call_TarnWriteConfig("IsDisturb", "1"));
    const auto found = traces_.find("Call_TarnWriteConfig");
    ASSERT_EQ(1u, found.size());
    EXPECT_GBK_EQ("写入配置失败: IsDisturb = 1",
                  found[0].message.substr(0, std::strlen("写入配置失败: IsDisturb = 1")));
}

struct IntCase {
    const char* stored;  // null: the key is missing
    int expected_result_nonzero;
    int expected_value;
};

TEST_F(ConfigAccess, ReadConfigIntConvertsLikeAtoiAndLeavesTheDefaultOnFailure) {
    const IntCase cases[] = {
        {"42", 1, 42}, {"-17", 1, -17},  {"abc", 1, 0}, {"12abc", 1, 12},
        {"", 1, 0},    {nullptr, 0, 99},  // missing key: the preset default stays
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.stored != nullptr ? c.stored : "(missing)");
        config_.reset();
        if (c.stored != nullptr) {
            ASSERT_NE(0, Call_TarnWriteConfig("AuthInterval", c.stored));
        }
        int value = 99;
        const int result = ReadConfigInt("AuthInterval", &value);
        EXPECT_EQ(c.expected_result_nonzero, result != 0 ? 1 : 0);
        EXPECT_EQ(c.expected_value, value);
    }
}

TEST_F(ConfigAccess, ReadConfigIntWithoutAPlaceReadsNothing) {
    EXPECT_EQ(0, ReadConfigInt("AuthInterval", nullptr));
    EXPECT_TRUE(config_.calls_of("TarnReadConfig").empty());
}

TEST_F(ConfigAccess, WriteConfigIntStoresSignedDecimalText) {
    ASSERT_NE(0, WriteConfigInt("CheckFailRecheckTime", -5));
    const auto calls = config_.calls_of("TarnWriteConfig");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("CheckFailRecheckTime|-5", calls[0].arguments);
}

TEST(ConfigAccessCache, AFailedLookupIsRepeatedOnceTheModuleIsThere) {
    quarn::test::TraceCapture traces;
    EXPECT_EQ(0, Call_TarnWriteConfig("A", "1"));  // no module yet
    FakeModule config(quarn::test::fake_path("QuarnAssConfigMgr.dll"));
    EXPECT_NE(0, Call_TarnWriteConfig("A", "1"));
    EXPECT_EQ(1u, config.calls_of("TarnWriteConfig").size());
}

TEST(ConfigAccessCache, ThreadsFillingTheCacheTogetherAllReachTheStore) {
    FakeModule config(quarn::test::fake_path("QuarnAssConfigMgr.dll"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 25; ++i) WriteConfigInt("Counter", t * 100 + i);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(200u, config.calls_of("TarnWriteConfig").size());
}

}  // namespace
