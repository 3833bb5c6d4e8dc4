// GBK texts in assertions: failures show them as UTF-8, not as escapes.
//   EXPECT_GBK_EQ("没有找到模块 QuarnAssLog.dll", message);
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quarn::test {

struct GbkText {
    std::string bytes;
};

inline bool operator==(const GbkText& a, const GbkText& b) { return a.bytes == b.bytes; }

void PrintTo(const GbkText& text, std::ostream* out);

}  // namespace quarn::test

#define EXPECT_GBK_EQ(expected, actual) \
    EXPECT_EQ(::quarn::test::GbkText{expected}, ::quarn::test::GbkText{actual})
#define ASSERT_GBK_EQ(expected, actual) \
    ASSERT_EQ(::quarn::test::GbkText{expected}, ::quarn::test::GbkText{actual})
