#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/error.h"
#include "os/event.h"
#include "os/shared_memory.h"
#include "os/types.h"
#include "support/helper_process.h"
#include "tests/os/test_names.h"

namespace {

using quarn::test::spawn_helper;
using quarn::test::unique_name;
using quarn::test::wait_helper;

constexpr std::size_t kSize = 180224;  // the allocation table's size

// argv: name. Opens the object, checks the parent's text, answers at the end.
QUARN_TEST_HELPER(touch_shared_memory) {
    os::SharedMemory memory;
    if (!os::shared_memory_open(argv[0], kSize, &memory)) return 10 + static_cast<int>(os::last_error());
    auto* bytes = static_cast<char*>(memory.view);
    const int result = std::strcmp(bytes, "from the parent") == 0 ? 0 : 3;
    std::strcpy(bytes + kSize - 32, "from the helper");
    os::shared_memory_close(&memory);
    return result;
}

TEST(SharedMemory, CreatedZeroFilledAndSharedWithAnotherProcess) {
    const std::string name = "Global\\" + unique_name("ring");
    os::SharedMemory memory;
    ASSERT_TRUE(os::shared_memory_create(name.c_str(), kSize, &memory));
    EXPECT_EQ(os::kErrorSuccess, os::last_error());
    ASSERT_NE(nullptr, memory.view);
    EXPECT_EQ(kSize, memory.size);
    const auto* bytes = static_cast<const unsigned char*>(memory.view);
    std::size_t nonzero = 0;
    for (std::size_t i = 0; i < kSize; ++i) nonzero += bytes[i] != 0;
    EXPECT_EQ(0u, nonzero);
    std::strcpy(static_cast<char*>(memory.view), "from the parent");

    EXPECT_EQ(0, wait_helper(spawn_helper("touch_shared_memory", {name.c_str()})));
    EXPECT_STREQ("from the helper", static_cast<char*>(memory.view) + kSize - 32);
    os::shared_memory_close(&memory);
    EXPECT_EQ(nullptr, memory.view);
    os::shared_memory_close(&memory);  // closing twice is harmless
}

TEST(SharedMemory, OpenOfAMissingNameFailsWithError2) {
    const std::string name = unique_name("no ring");
    os::SharedMemory memory;
    EXPECT_FALSE(os::shared_memory_open(name.c_str(), 4096, &memory));
    EXPECT_EQ(os::kErrorFileNotFound, os::last_error());
    EXPECT_EQ(nullptr, memory.view);
}

TEST(SharedMemory, CreateOfAnExistingNameOpensTheSameBytes) {
    const std::string name = unique_name("twice");
    os::SharedMemory first;
    os::SharedMemory second;
    ASSERT_TRUE(os::shared_memory_create(name.c_str(), 8192, &first));
    ASSERT_TRUE(os::shared_memory_create(name.c_str(), 8192, &second));
    EXPECT_EQ(os::kErrorAlreadyExists, os::last_error());
    static_cast<char*>(first.view)[100] = 'x';
    EXPECT_EQ('x', static_cast<char*>(second.view)[100]);
    os::shared_memory_close(&first);
    os::shared_memory_close(&second);
}

TEST(SharedMemory, OpenAsksForNoMoreThanTheObjectHolds) {
    const std::string name = unique_name("small");
    os::SharedMemory memory;
    ASSERT_TRUE(os::shared_memory_create(name.c_str(), 64 * 1024, &memory));
    os::SharedMemory same;
    EXPECT_TRUE(os::shared_memory_open(name.c_str(), 4096, &same));
    os::shared_memory_close(&same);
    os::SharedMemory larger;
    EXPECT_FALSE(os::shared_memory_open(name.c_str(), 1024 * 1024, &larger));
    EXPECT_NE(os::kErrorSuccess, os::last_error());
    EXPECT_EQ(nullptr, larger.view);
    os::shared_memory_close(&memory);
}

TEST(SharedMemory, AnEventNameIsNotAMappingName) {
    const std::string name = unique_name("kind");
    os::Handle event = os::event_create(name.c_str(), os::EventReset::kAuto, false);
    ASSERT_NE(nullptr, event);
    os::SharedMemory memory;
    EXPECT_FALSE(os::shared_memory_open(name.c_str(), 4096, &memory));
    EXPECT_EQ(os::kErrorInvalidHandle, os::last_error());
    os::event_close(event);
}

}  // namespace
