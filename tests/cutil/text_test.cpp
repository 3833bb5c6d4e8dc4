#include "cutil/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CutilText, IstrFindsWithAsciiLettersFolded) {
    const struct {
        const char* text;
        const char* needle;
        int offset;  // -1: not found
    } cases[] = {
        {"Process QUARNASSLOG.DLL loaded", "quarnasslog.dll", 8},
        {"xxabcabc", "cab", 4},
        {"aaab", "aab", 1},  // a partial match must not skip the real one
        {"abc", "abcd", -1},
        {"", "a", -1},
        {"abc", "", -1},
        // Bytes outside ASCII (GBK) are compared as they are.
        {"\xC8\xEB\xCD\xF8OK", "\xC8\xEB\xCD\xF8ok", 0},
        {"\xC8\xEB", "\xE8\xEB", -1},
        {nullptr, "a", -1},
        {"a", nullptr, -1},
    };
    for (const auto& c : cases) {
        const char* found = cutil_str_istr(c.text, c.needle);
        EXPECT_EQ(c.offset < 0 ? nullptr : c.text + c.offset, found) << "case " << &c - cases;
    }
}

TEST(CutilText, IequalFoldsAsciiLettersOnly) {
    const struct {
        const char* text;
        const char* other;
        int equal;
    } cases[] = {
        {"success", "SUCCESS", 1},   {"Ukey", "UKEY", 1}, {"yes", "yes ", 0}, {"", "", 1},
        {"\xC8\xEB", "\xE8\xEB", 0}, {nullptr, "", 0},    {"", nullptr, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.equal, cutil_str_iequal(c.text, c.other)) << "case " << &c - cases;
    }
    EXPECT_EQ(1, cutil_str_niequal("2026-12-07 10:00", "2026-12-07 23:59", 10));
    EXPECT_EQ(0, cutil_str_niequal("2026-12-07", "2026-12-08", 10));
    EXPECT_EQ(1, cutil_str_niequal("ab", "AB", 10));  // both end within the count
    EXPECT_EQ(0, cutil_str_niequal("ab", "ABc", 10));
}

TEST(CutilText, AppendCutsToTheBufferAndKeepsTheTerminator) {
    const struct {
        const char* start;
        const char* text;
        std::size_t size;
        const char* expected;
    } cases[] = {
        {"0123456789", "abcdefghij", 16, "0123456789abcde"},  // 5 of 10 fit
        {"0123456789", "abcde", 16, "0123456789abcde"},       // exactly fits
        {"", "abcd", 4, "abc"},
        {"abc", "", 8, "abc"},
        {"abc", "d", 4, "abc"},  // full already
        {"abc", nullptr, 8, "abc"},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        std::strcpy(buffer, c.start);
        EXPECT_EQ(buffer, cutil_str_append(c.text, buffer, c.size));
        EXPECT_STREQ(c.expected, buffer) << "case " << &c - cases;
        for (std::size_t i = c.size; i < sizeof buffer; ++i) {
            ASSERT_EQ('#', buffer[i]) << "written past the buffer at " << i;
        }
    }
}

}  // namespace
