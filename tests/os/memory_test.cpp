#include <gtest/gtest.h>

#include <cstring>

#include "os/memory.h"

namespace {

TEST(Heap, BlocksAreZeroFilledAndReportTheirSize) {
    auto* block = static_cast<unsigned char*>(os::heap_alloc_zeroed(1000));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(0, block[i]);
    EXPECT_EQ(1000u, os::heap_size(block));
    std::memset(block, 0xAB, 1000);
    EXPECT_TRUE(os::heap_free(block));
}

TEST(Heap, SizeOfNullIsZero) { EXPECT_EQ(0u, os::heap_size(nullptr)); }

TEST(Heap, ZeroByteBlocksExistAndAreFreed) {
    void* block = os::heap_alloc_zeroed(0);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, os::heap_size(block));
    EXPECT_TRUE(os::heap_free(block));
}

TEST(Global, FixedBlocksAreZeroFilledAndFreeReturnsNull) {
    auto* text = static_cast<char*>(os::global_alloc(64));
    ASSERT_NE(nullptr, text);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(0, text[i]);
    EXPECT_EQ(64u, os::global_size(text));
    std::strcpy(text, "handed across modules");
    EXPECT_EQ(nullptr, os::global_free(text));
}

TEST(Global, FreeOfNullIsNull) { EXPECT_EQ(nullptr, os::global_free(nullptr)); }

}  // namespace
