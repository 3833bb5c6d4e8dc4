#include "cutil/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CutilStrIstr, FindsWithAsciiLettersFolded) {
    struct Case {
        const char* text;
        const char* needle;
        int offset;  // -1: not found
    };
    const Case cases[] = {
        {"Process QUARNASSLOG.DLL loaded", "quarnasslog.dll", 8},
        {"abc", "ABC", 0},
        {"xxabcabc", "cab", 4},
        {"aaab", "aab", 1},  // a partial match must not skip the real one
        {"abc", "abcd", -1},
        {"abc", "x", -1},
        {"", "a", -1},
        {"abc", "", -1},
        // Bytes outside ASCII (GBK) are compared as they are.
        {"\xC8\xEB\xCD\xF8OK", "\xC8\xEB\xCD\xF8ok", 0},
        {"\xC8\xEB", "\xE8\xEB", -1},
    };
    for (const Case& c : cases) {
        const char* found = cutil_str_istr(c.text, c.needle);
        if (c.offset < 0) {
            EXPECT_EQ(nullptr, found) << c.text << " / " << c.needle;
        } else {
            EXPECT_EQ(c.text + c.offset, found) << c.text << " / " << c.needle;
        }
    }
    EXPECT_EQ(nullptr, cutil_str_istr(nullptr, "a"));
    EXPECT_EQ(nullptr, cutil_str_istr("a", nullptr));
}

TEST(CutilStrAppend, CutsToTheBufferAndKeepsTheTerminator) {
    struct Case {
        const char* start;
        const char* text;
        std::size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"0123456789", "abcdefghij", 16, "0123456789abcde"},  // 5 of 10 fit
        {"0123456789", "abcde", 16, "0123456789abcde"},       // exactly fits
        {"0123456789", "abcdef", 16, "0123456789abcde"},      // one too many
        {"", "abc", 4, "abc"},
        {"", "abcd", 4, "abc"},
        {"abc", "", 8, "abc"},
        {"abc", "d", 4, "abc"},  // full already
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        std::strcpy(buffer, c.start);
        EXPECT_EQ(buffer, cutil_str_append(c.text, buffer, c.size));
        EXPECT_STREQ(c.expected, buffer) << c.start << " + " << c.text << " in " << c.size;
        for (std::size_t i = c.size; i < sizeof buffer; ++i) {
            ASSERT_EQ('#', buffer[i]) << "written past the buffer at " << i;
        }
    }
}

TEST(CutilStrAppend, NullTextLeavesTheDestination) {
    char buffer[8] = "abc";
    EXPECT_EQ(buffer, cutil_str_append(nullptr, buffer, sizeof buffer));
    EXPECT_STREQ("abc", buffer);
}

}  // namespace
