#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/text.h"

namespace {

// "中文" as GBK bytes (the compiler writes every literal in GBK) and as
// UTF-16 and UTF-8.
constexpr char kGbk[] = "中文";
constexpr char16_t kWide[] = {0x4E2D, 0x6587, 0};
constexpr char kUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(Text, AnsiCodePageIsGbk) {
    ASSERT_EQ(4u, std::strlen(kGbk));
    EXPECT_EQ(static_cast<char>(0xD6), kGbk[0]);
    char16_t wide[16];
    ASSERT_EQ(2u, os::acp_to_wide(kGbk, wide, 16));
    EXPECT_EQ(0x4E2D, wide[0]) << "wide characters, not only a round trip";
    EXPECT_EQ(0x6587, wide[1]);
    EXPECT_EQ(0, wide[2]);
}

TEST(Text, WideBackToGbk) {
    char text[16];
    ASSERT_EQ(4u, os::wide_to_acp(kWide, text, sizeof text));
    EXPECT_STREQ(kGbk, text);
    EXPECT_EQ(2u, os::wide_length(kWide));
}

TEST(Text, AsciiPassesUnchanged) {
    char16_t wide[32];
    ASSERT_EQ(5u, os::acp_to_wide("Quarn", wide, 32));
    EXPECT_EQ(u'Q', wide[0]);
    char back[32];
    ASSERT_EQ(5u, os::wide_to_acp(wide, back, sizeof back));
    EXPECT_STREQ("Quarn", back);
}

TEST(Text, TooSmallABufferFailsButStaysTerminated) {
    char16_t wide[2] = {u'x', u'x'};
    EXPECT_EQ(static_cast<std::size_t>(-1), os::acp_to_wide(kGbk, wide, 2));
    EXPECT_EQ(0, wide[0]);
    char text[3] = "xx";
    EXPECT_EQ(static_cast<std::size_t>(-1), os::wide_to_acp(kWide, text, sizeof text));
    EXPECT_EQ('\0', text[0]);
}

TEST(Text, CharacterOutsideGbkBecomesAQuestionMark) {
    const char16_t wide[] = {u'a', 0x0E01 /* Thai */, u'b', 0};
    char text[16];
    ASSERT_EQ(3u, os::wide_to_acp(wide, text, sizeof text));
    EXPECT_STREQ("a?b", text);
}

TEST(Text, GbkAndUtf8ForDisplay) {
    EXPECT_EQ(kUtf8, os::gbk_to_utf8(kGbk, std::strlen(kGbk)));
    EXPECT_EQ(kGbk, os::utf8_to_gbk(kUtf8, std::strlen(kUtf8)));
    EXPECT_EQ("", os::gbk_to_utf8("", 0));
    // A lead byte without its trail byte is replaced, the rest kept.
    const std::string cut = os::gbk_to_utf8("a\xD6", 2);
    EXPECT_EQ('a', cut[0]);
    EXPECT_GT(cut.size(), 1u);
}

}  // namespace
