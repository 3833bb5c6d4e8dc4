// What one LogTrace call puts into the ring: the bytes at every offset, the
// error suffix, the cuts.
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

using cutil::trace::DecodedRecord;
using cutil::trace::Record;
using quarn::test::TraceRingTest;

std::uint32_t u32_at(const Record& record, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<const char*>(&record) + offset, sizeof value);
    return value;
}

// The text at `offset`, and a check that the rest of its field is zero.
std::string field_at(const Record& record, std::size_t offset, std::size_t size) {
    const char* field = reinterpret_cast<const char*>(&record) + offset;
    const std::string text(field, strnlen(field, size));
    for (std::size_t i = text.size(); i < size; ++i) {
        EXPECT_EQ(0, field[i]) << "padding at offset " << offset + i;
    }
    return text;
}

std::string system_text(std::uint32_t code) {
    char text[1100] = {};
    os::error_message(code, text, 1017);
    return text;
}

class TraceRecordTest : public TraceRingTest {
  protected:
    DecodedRecord trace_one(int level, std::uint32_t last_error, const char* function,
                            const char* source, const char* message) {
        os::set_last_error(last_error);
        LogTrace(function, level, source, 7, "%s", message);
        const auto records = drain();
        EXPECT_EQ(1u, records.size());
        return records.empty() ? DecodedRecord{} : records[0];
    }
};

TEST_F(TraceRecordTest, EveryFieldLiesAtItsOffset) {
    os::seams::FakeClock clock;
    clock.local = os::DateTime{2026, 3, 2, 9, 8, 7, 6, 54};
    clock.utc = clock.local;
    os::seams::install_fake_clock(&clock);
    os::set_last_error(0);
    LogTrace("UserSwitchAddUser", kTraceInfo, ".\\QuarnAssAutoCheck", 1234, "用户 %s 第%d次",
             "张三", 3);
    os::seams::install_fake_clock(nullptr);

    const auto raw = drain_raw();
    ASSERT_EQ(1u, raw.size());
    const Record& r = raw[0];
    const std::string message = "用户 张三 第3次";
    EXPECT_EQ(240 + message.size() + 1, u32_at(r, 0));
    EXPECT_EQ(2u, u32_at(r, 4));
    EXPECT_EQ("2026-03-09", field_at(r, 8, 12));
    EXPECT_EQ("08:07:06.054", field_at(r, 20, 16));
    EXPECT_EQ(quarn::test::own_program_name(), field_at(r, 36, 64));
    EXPECT_EQ(os::process_id(), u32_at(r, 100));
    EXPECT_EQ(os::thread_id(), u32_at(r, 104));
    EXPECT_EQ("QuarnAssAutoCheck", field_at(r, 108, 64));
    EXPECT_EQ("UserSwitchAddUser", field_at(r, 172, 64));
    EXPECT_EQ(1234u, u32_at(r, 236));
    EXPECT_GBK_EQ(message, field_at(r, 240, 4096));
}

struct SuffixCase {
    const char* name;
    int level;
    std::uint32_t last_error;
    bool has_suffix;
};

class TraceSuffixTest : public TraceRecordTest, public ::testing::WithParamInterface<SuffixCase> {};

TEST_P(TraceSuffixTest, ErrorTextOnlyForErrorsWithACode) {
    const SuffixCase& c = GetParam();
    const DecodedRecord record = trace_one(c.level, c.last_error, "F", "S", "打开失败");
    const std::string expected =
        c.has_suffix ? "打开失败 Error=" + system_text(c.last_error) : "打开失败";
    EXPECT_GBK_EQ(expected, record.message);
    EXPECT_EQ(240 + expected.size() + 1, record.length);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, TraceSuffixTest,
    ::testing::Values(SuffixCase{"ErrorWithCode", kTraceError, os::kErrorFileNotFound, true},
                      SuffixCase{"ErrorWithoutCode", kTraceError, 0, false},
                      SuffixCase{"InfoWithCode", kTraceInfo, os::kErrorAccessDenied, false},
                      SuffixCase{"OtherLevelWithCode", 3, os::kErrorAccessDenied, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct LengthCase {
    const char* name;
    std::size_t message_length;
    std::size_t stored_length;
    std::size_t suffix_kept;  // characters of " Error=…" that fit
};

class TraceLengthTest : public TraceRecordTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(TraceLengthTest, MessageAndSuffixStayWithin4095) {
    const LengthCase& c = GetParam();
    const std::string text(c.message_length, 'm');
    const DecodedRecord record =
        trace_one(kTraceError, os::kErrorFileNotFound, "F", "S", text.c_str());
    const std::string suffix = " Error=" + system_text(os::kErrorFileNotFound);
    const std::string expected =
        std::string(c.stored_length - c.suffix_kept, 'm') + suffix.substr(0, c.suffix_kept);
    EXPECT_EQ(c.stored_length, record.message.size());
    EXPECT_EQ(expected, record.message);
    EXPECT_EQ(240 + c.stored_length + 1, record.length);
}

INSTANTIATE_TEST_SUITE_P(Cuts, TraceLengthTest,
                         ::testing::Values(LengthCase{"Exactly4095NoSuffix", 4095, 4095, 0},
                                           LengthCase{"LongerIsCut", 6000, 4095, 0},
                                           LengthCase{"SuffixCutToFit", 4091, 4095, 4}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

struct NameCase {
    const char* name;
    std::string function;
    std::string source;
    std::string stored_function;
    std::string stored_source;
};

class TraceNameTest : public TraceRecordTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(TraceNameTest, NamesAreStrippedAndCut) {
    const NameCase& c = GetParam();
    const DecodedRecord record =
        trace_one(kTraceInfo, 0, c.function.c_str(), c.source.c_str(), "x");
    EXPECT_EQ(c.stored_function, record.function);
    EXPECT_EQ(c.stored_source, record.source);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TraceNameTest,
    ::testing::Values(
        NameCase{"DotBackslashStripped", "F", ".\\Cutil_Xml.cpp", "F", "Cutil_Xml.cpp"},
        NameCase{"OnlyLeadingPairStripped", "F", "..\\a\\.\\b", "F", "..\\a\\.\\b"},
        NameCase{"FunctionOf70CutTo63", std::string(70, 'f'), "S", std::string(63, 'f'), "S"},
        NameCase{"SourceCutAfterStrip", "F", ".\\" + std::string(70, 's'), "F",
                 std::string(63, 's')}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(TraceRecordTest, NullNamesAndFormatRecordEmptyTexts) {
    os::set_last_error(0);
    LogTrace(nullptr, kTraceInfo, nullptr, 1, nullptr);
    const auto records = drain();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("", records[0].function);
    EXPECT_EQ("", records[0].source);
    EXPECT_EQ("", records[0].message);
    EXPECT_EQ(241u, records[0].length);
}

struct ModulePathCase {
    const char* path;
    const char* name;
};

TEST(TraceModuleName, PartAfterTheLastBackslash) {
    const ModulePathCase cases[] = {
        {"C:\\Program Files\\Quarn\\QuarnAssAutoCheck.dll", "QuarnAssAutoCheck.dll"},
        {"\\QuarnAssAutoCheck.dll", ""},  // the first character does not count
        {"QuarnAssAutoCheck.dll", ""},
        {"", ""},
        {"C:\\dir\\", ""},
        {"\\\\server\\share\\x.dll", "x.dll"},
    };
    for (const auto& c : cases) {
        char out[64];
        std::memset(out, 'z', sizeof out);
        cutil::trace::module_name_from_path(c.path, out, sizeof out);
        EXPECT_STREQ(c.name, out) << c.path;
    }
    const std::string long_path = "C:\\" + std::string(80, 'n');
    char out[64];
    EXPECT_EQ(63u, cutil::trace::module_name_from_path(long_path.c_str(), out, sizeof out));
    EXPECT_EQ(std::string(63, 'n'), out);
}

}  // namespace
