// What one LogTrace call puts into the ring: the fields, the error suffix,
// the cuts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cutil/trace.h"
#include "cutil/trace_fields.h"
#include "cutil/trace_ring.h"
#include "os/error.h"
#include "os/process.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using TraceRecordTest = quarn::test::TraceRingTest;

std::string system_text(std::uint32_t code) {
    char text[1100] = {};
    os::error_message(code, text, 1017);
    return text;
}

TEST_F(TraceRecordTest, RecordCarriesTheClockTheProgramAndTheCaller) {
    os::seams::FakeClock clock;
    clock.local = os::DateTime{2026, 3, 2, 9, 8, 7, 6, 54};
    clock.utc = clock.local;
    os::seams::install_fake_clock(&clock);
    os::set_last_error(0);
    LogTrace("UserSwitchAddUser", kTraceInfo, "QuarnAssAutoCheck", 1234, "用户 %s 第%d次", "张三",
             3);
    os::seams::install_fake_clock(nullptr);
    LogTrace(nullptr, kTraceInfo, nullptr, 1, nullptr);

    const auto records = drain();
    ASSERT_EQ(2u, records.size());
    const auto& r = records[0];
    const std::string message = "用户 张三 第3次";
    EXPECT_EQ(240 + message.size() + 1, r.length);
    EXPECT_EQ(2u, r.level);
    EXPECT_EQ("2026-03-09", r.date);
    EXPECT_EQ("08:07:06.054", r.time);
    EXPECT_EQ(quarn::test::own_program_name(), r.module);
    EXPECT_EQ(os::thread_id(), r.thread_id);
    EXPECT_EQ("QuarnAssAutoCheck", r.source);
    EXPECT_EQ("UserSwitchAddUser", r.function);
    EXPECT_EQ(1234u, r.line);
    EXPECT_GBK_EQ(message, r.message);
    // Null names and format record empty texts.
    EXPECT_EQ("", records[1].function + records[1].source + records[1].message);
    EXPECT_EQ(241u, records[1].length);
}

// The " Error=<system text>" suffix only at the error level with a code; the
// message with its suffix cut to 4095 characters; ".\" stripped from the
// source and both names cut to 63 characters.
TEST_F(TraceRecordTest, ErrorSuffixAndCuts) {
    const std::string suffix = " Error=" + system_text(os::kErrorFileNotFound);
    const struct {
        int level;
        std::uint32_t last_error;
        std::string function, source, message;
        std::string stored_function, stored_source, stored_message;
    } cases[] = {
        {kTraceError, os::kErrorFileNotFound, "F", "S", "打开失败", "F", "S", "打开失败" + suffix},
        {kTraceError, 0, "F", "S", "打开失败", "F", "S", "打开失败"},
        {kTraceInfo, os::kErrorFileNotFound, "F", "S", "打开失败", "F", "S", "打开失败"},
        {3, os::kErrorFileNotFound, "F", "S", "打开失败", "F", "S", "打开失败"},
        {kTraceError, os::kErrorFileNotFound, "F", "S", std::string(4095, 'm'), "F", "S",
         std::string(4095, 'm')},
        {kTraceError, os::kErrorFileNotFound, "F", "S", std::string(6000, 'm'), "F", "S",
         std::string(4095, 'm')},
        {kTraceError, os::kErrorFileNotFound, "F", "S", std::string(4091, 'm'), "F", "S",
         std::string(4091, 'm') + suffix.substr(0, 4)},
        {kTraceInfo, 0, "F", ".\\Cutil_Xml.cpp", "x", "F", "Cutil_Xml.cpp", "x"},
        {kTraceInfo, 0, "F", "..\\a\\.\\b", "x", "F", "..\\a\\.\\b", "x"},
        {kTraceInfo, 0, std::string(70, 'f'), "S", "x", std::string(63, 'f'), "S", "x"},
        {kTraceInfo, 0, "F", ".\\" + std::string(70, 's'), "x", "F", std::string(63, 's'), "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        os::set_last_error(c.last_error);
        LogTrace(c.function.c_str(), c.level, c.source.c_str(), 7, "%s", c.message.c_str());
        const auto records = drain();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(c.stored_function, records[0].function);
        EXPECT_EQ(c.stored_source, records[0].source);
        EXPECT_GBK_EQ(c.stored_message, records[0].message);
        EXPECT_EQ(240 + c.stored_message.size() + 1, records[0].length);
    }
}

TEST(TraceModuleName, PartAfterTheLastBackslash) {
    const std::string long_path = "C:\\" + std::string(80, 'n');
    const std::string long_name(63, 'n');
    const char* cases[][2] = {
        {"C:\\Program Files\\Quarn\\QuarnAssAutoCheck.dll", "QuarnAssAutoCheck.dll"},
        {"\\QuarnAssAutoCheck.dll", ""},  // the first character does not count
        {"QuarnAssAutoCheck.dll", ""},
        {"", ""},
        {"C:\\dir\\", ""},
        {"\\\\server\\share\\x.dll", "x.dll"},
        {long_path.c_str(), long_name.c_str()},
    };
    for (const auto& c : cases) {
        char out[64];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(std::strlen(c[1]), cutil::trace::module_name_from_path(c[0], out, sizeof out));
        EXPECT_STREQ(c[1], out) << c[0];
    }
}

}  // namespace
