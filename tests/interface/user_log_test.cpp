// The user-log line: time stamp, ten blanks, the message, "\n", cut to fit.
#include "interface/user_log.h"

#include <gtest/gtest.h>

#include <string>

#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using quarn::test::FakeModule;

class UserLog : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(log_.load(quarn::test::fake_path("QuarnAssLog.dll")));
        clock_.local = {2012, 1, 2, 31, 10, 5, 9, 120};
        os::seams::install_fake_clock(&clock_);
    }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }

    std::string only_line() {
        const auto calls = log_.calls_of("TarnLogToFile");
        EXPECT_EQ(1u, calls.size());
        return calls.empty() ? std::string() : calls[0].arguments;
    }

    FakeModule log_;
    os::seams::FakeClock clock_;
};

TEST_F(UserLog, LineIsTimeStampTenBlanksMessageAndLineFeed) {
    EXPECT_EQ(1, Call_TarnLogToFile("用户%s认证%s", "张三", "成功"));
    EXPECT_GBK_EQ("2012-01-31 10:05:09          用户张三认证成功\n", only_line());
}

TEST_F(UserLog, MessageIsNeverAFormat) {
    Call_TarnLogToFile("%s", "100% %s %n");
    EXPECT_EQ("2012-01-31 10:05:09          100% %s %n\n", only_line());
}

TEST_F(UserLog, LongMessageIsCutTo4094CharactersBeforeTheLineFeed) {
    const std::string message(5000, 'x');
    Call_TarnLogToFile("%s", message.c_str());
    const std::string line = only_line();
    ASSERT_EQ(4095u, line.size());
    EXPECT_EQ('\n', line.back());
    EXPECT_EQ(std::string(4094 - 29, 'x'), line.substr(29, 4094 - 29));
}

TEST_F(UserLog, ExactlyFittingMessageIsKeptWhole) {
    const std::string message(4094 - 29, 'y');
    Call_TarnLogToFile("%s", message.c_str());
    EXPECT_EQ(message + "\n", only_line().substr(29));
}

TEST_F(UserLog, CutNeverSplitsADoubleByteCharacter) {
    // 4064 single bytes leave room for one more byte: half of "汉".
    const std::string message = std::string(4094 - 29 - 1, 'x') + "汉字";
    Call_TarnLogToFile("%s", message.c_str());
    const std::string line = only_line();
    EXPECT_EQ(4094u, line.size());
    EXPECT_EQ(std::string(4094 - 29 - 1, 'x') + "\n", line.substr(29));
}

TEST_F(UserLog, NullFormatWritesNothing) {
    EXPECT_EQ(0, Call_TarnLogToFile(nullptr));
    EXPECT_TRUE(log_.calls().empty());
}

TEST_F(UserLog, ModuleResultIsPassedBack) {
    log_.answer("TarnLogToFile", 0);
    EXPECT_EQ(0, Call_TarnLogToFile("a"));
}

}  // namespace
