// MemAlloc_fre / MemFree_fre, and tracked memory with no monitor running.
#include <gtest/gtest.h>

#include <cstring>

#include "cutil/memory.h"
#include "cutil/memory_table.h"
#include "cutil/trace.h"
#include "cutil/trace_turn.h"
#include "os/event.h"
#include "os/memory.h"
#include "os/shared_memory.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using quarn::test::TraceRingTest;

using MemoryHeapTest = TraceRingTest;

TEST_F(MemoryHeapTest, BlocksAreZeroedAndReleasedWithoutATrace) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4096}}) {
        auto* block = static_cast<unsigned char*>(MemAlloc_fre(size));
        ASSERT_NE(nullptr, block) << size;
        for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(0, block[i]) << size;
        MemFree_fre(block);  // a leak here fails the sanitized build
    }
    MemFree_fre(nullptr);
    EXPECT_TRUE(drain().empty());
}

TEST_F(MemoryHeapTest, ABlockTheHeapDoesNotKnowIsKeptAndTraced) {
    // Not a heap block: its heap size reads 0.
    alignas(16) static unsigned char foreign[64];
    ASSERT_EQ(0u, os::heap_size(foreign + 16));
    MemFree_fre(foreign + 16);
    const auto records = drain();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(static_cast<std::uint32_t>(kTraceError), records[0].level);
    EXPECT_EQ("MemFree_fre", records[0].function);
    EXPECT_EQ("Cutil_Memory", records[0].source);
    // An error trace carries the thread's last error, if the heap set one.
    EXPECT_EQ(0u, records[0].message.rfind("_Memory Size = 0", 0)) << records[0].message;
}

TEST(MemoryWithoutMonitor, RegistrationsDoNothing) {
    // Holding the monitors' turn keeps other test programs' monitors away.
    ASSERT_TRUE(cutil::trace::turn_take(cutil::trace::kMemoryMonitorTurnName, 30000));
    os::Handle existing = os::event_open(cutil::memory::kEventName);
    if (existing != nullptr) {
        os::event_close(existing);
        cutil::trace::turn_give(cutil::trace::kMemoryMonitorTurnName);
        GTEST_SKIP() << "a monitor that takes no turn is running on this machine";
    }
    void* block = MemAlloc_fre(32);
    ASSERT_NE(nullptr, block);
    cutil_memory_track("Cutil_Xml", block, 32, "f", 1);
    cutil_memory_untrack(block);
    MemFree_fre(block);
    EXPECT_EQ(nullptr, os::event_open(cutil::memory::kEventName));
    os::SharedMemory table;
    EXPECT_FALSE(
        os::shared_memory_open(cutil::memory::kMappingName, cutil::memory::kTableSize, &table));
    cutil::trace::turn_give(cutil::trace::kMemoryMonitorTurnName);
}

}  // namespace
