#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "os/error.h"
#include "os/types.h"

namespace {

TEST(Error, LastErrorBelongsToTheThread) {
    std::atomic<int> step{0};
    std::uint32_t seen_there = 1;
    std::thread other([&] {
        os::set_last_error(os::kErrorTimeout);
        step = 1;
        while (step != 2) {
        }
        seen_there = os::last_error();
    });
    while (step != 1) {
    }
    // Both threads have set their code; neither sees the other's.
    os::set_last_error(os::kErrorAccessDenied);
    step = 2;
    other.join();
    EXPECT_EQ(os::kErrorTimeout, seen_there);
    os::set_last_error(os::kErrorAccessDenied);
    EXPECT_EQ(os::kErrorAccessDenied, os::last_error());
}

TEST(Error, MessageOfAKnownCodeIsOneLine) {
    char text[1024];
    const std::size_t length = os::error_message(os::kErrorFileNotFound, text, sizeof text);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::strlen(text));
    EXPECT_EQ(nullptr, std::strchr(text, '\n')) << "line breaks are suppressed";
    EXPECT_EQ(nullptr, std::strchr(text, '\r'));
#ifndef _WIN32
    // The English system text, with the blank its line break left behind.
    EXPECT_STREQ("The system cannot find the file specified. ", text);
#endif
}

TEST(Error, MessageIsCutToTheBuffer) {
    char whole[1024];
    const std::size_t length = os::error_message(os::kErrorAccessDenied, whole, sizeof whole);
    ASSERT_GT(length, 5u);
    char cut[5];
    EXPECT_EQ(4u, os::error_message(os::kErrorAccessDenied, cut, sizeof cut));
    EXPECT_EQ(std::string(whole, 4), cut);
}

TEST(Error, UnknownCodeHasNoText) {
    char text[64] = "untouched";
    EXPECT_EQ(0u, os::error_message(0x2BADC0DEu, text, sizeof text));
    EXPECT_STREQ("", text);
}

}  // namespace
