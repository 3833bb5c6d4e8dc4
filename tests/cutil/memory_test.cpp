// MemAlloc_fre / MemFree_fre, and the shared allocation table as a monitor
// sees it: site records and chains, full tables, damaged chains, a second
// process, and no monitor at all.
#include "cutil/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cutil/memory_table.h"
#include "cutil/trace.h"
#include "cutil/trace_turn.h"
#include "os/event.h"
#include "os/memory.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/shared_memory.h"
#include "support/helper_process.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using namespace cutil::memory;

using MemoryHeapTest = quarn::test::TraceRingTest;

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
    alignas(16) static unsigned char foreign[64];
    ASSERT_EQ(0u, os::heap_size(foreign + 16));
    MemFree_fre(foreign + 16);
    const auto records = drain();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(static_cast<std::uint32_t>(kTraceError), records[0].level);
    EXPECT_EQ("MemFree_fre", records[0].function);
    EXPECT_EQ("Cutil_Memory.cpp", records[0].source);
    EXPECT_EQ(0u, records[0].message.rfind("_Memory Size = 0", 0)) << records[0].message;
}

TEST(MemoryWithoutMonitor, RegistrationsDoNothing) {
    // Holding the monitors' turn keeps other test programs' monitors away.
    ASSERT_TRUE(cutil::trace::turn_take(cutil::trace::kMemoryMonitorTurnName, 30000));
    os::Handle existing = os::event_open(kEventName);
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
    EXPECT_EQ(nullptr, os::event_open(kEventName));
    os::SharedMemory table;
    EXPECT_FALSE(os::shared_memory_open(kMappingName, kTableSize, &table));
    cutil::trace::turn_give(cutil::trace::kMemoryMonitorTurnName);
}

// Addresses are only recorded, never touched: made-up values keep the tests
// independent of the heap.
const void* fake_block(std::uintptr_t value) {
    return reinterpret_cast<const void*>(value);
}

class MemoryTableTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(monitor_.create()); }
    void TearDown() override { monitor_.close(); }

    void* table() const { return monitor_.table(); }

    // Raw writes hold the table's event, as a registration does, so that
    // other programs registering meanwhile never see half of them.
    template <typename Write>
    void write_table(Write write) {
        ASSERT_EQ(0, os::event_wait(monitor_.event(), 5000));
        write();
        os::event_set(monitor_.event());
    }

    // The sites at `line` as the monitor shows them (of this process only
    // unless `pid` is 0: other programs may register too).
    std::vector<Site> sites(std::uint32_t line, std::uint32_t pid = os::process_id()) const {
        Snapshot snapshot;
        EXPECT_TRUE(monitor_.snapshot(&snapshot));
        std::vector<Site> found;
        for (const Site& site : snapshot.sites) {
            if (site.line == line && (pid == 0 || site.process_id == pid)) found.push_back(site);
        }
        return found;
    }

    // The addresses along this process's chain at `line`, newest first.
    std::vector<std::uint32_t> chain(std::uint32_t line) const {
        std::vector<std::uint32_t> addresses;
        for (const Site& site : sites(line)) {
            for (const LiveEntry& entry : site.live) addresses.push_back(entry.address);
        }
        return addresses;
    }

    mutable Monitor monitor_;
};

TEST_F(MemoryTableTest, SameSiteTwiceIsOneRecordWithTwoChainedEntries) {
    os::seams::FakeClock clock;
    clock.local = os::DateTime{2026, 12, 1, 7, 6, 5, 4, 3};
    os::seams::install_fake_clock(&clock);
    cutil_memory_track(".\\Cutil_Xml", fake_block(0x5000), 1, "cutil_xml_create", 41001);
    cutil_memory_track("Cutil_Xml", fake_block(0x6000), 24, "cutil_xml_import", 41001);
    os::seams::install_fake_clock(nullptr);

    const std::vector<Site> found = sites(41001);
    ASSERT_EQ(1u, found.size());
    const Site& site = found[0];
    EXPECT_EQ("2026-12-07", site.date);
    EXPECT_EQ("06:05:04.003", site.time);
    EXPECT_EQ(quarn::test::own_program_name(), site.module);
    EXPECT_EQ(os::thread_id(), site.thread_id);
    EXPECT_EQ("Cutil_Xml", site.source);
    EXPECT_EQ("cutil_xml_create", site.function);  // the first
    EXPECT_EQ(2u, site.registrations);
    EXPECT_EQ(0u, site.releases);
    EXPECT_EQ(25u, site.live_bytes);
    EXPECT_EQ(25u, site.total_bytes);
    ASSERT_EQ(2u, site.live.size());  // newest first
    EXPECT_EQ(0x6000u, site.live[0].address);
    EXPECT_EQ(24u, site.live[0].size);
    EXPECT_EQ(0x5000u, site.live[1].address);
    EXPECT_EQ(1u, site.live[1].size);
}

TEST_F(MemoryTableTest, SitesMatchOnLineProcessAndSourcePrefix) {
    struct Case {
        std::string first_source;
        std::string second_source;
        int line_step;  // the second registration's line minus the first's
        bool same_site;
    };
    const Case cases[] = {
        {"Cutil_Xml", "Cutil_Xml", 0, true},
        {"Cutil_Xml", "CUTIL_XML", 0, true},       // case ignored
        {"Cutil", "Cutil_Xml", 0, true},           // the stored name is a prefix
        {"Cutil_Xml", "Cutil", 0, false},          // the caller's name is shorter
        {".\\Cutil_File", "Cutil_File", 0, true},  // ".\" ignored
        {"Cutil_Xml", "Cutil_Xml", 1, false},      // another line
        {std::string(70, 'a') + "x", std::string(70, 'a') + "y", 0, true},  // stored 63 match
    };
    std::uint32_t line = 50000;
    for (const Case& c : cases) {
        line += 10;  // a line of its own for each case
        cutil_memory_track(c.first_source.c_str(), fake_block(0x7000), 8, "f", line);
        cutil_memory_track(c.second_source.c_str(), fake_block(0x7100), 8, "f", line + c.line_step);
        const std::vector<Site> found = sites(line);
        ASSERT_EQ(c.same_site || c.line_step != 0 ? 1u : 2u, found.size()) << c.second_source;
        EXPECT_EQ(c.same_site ? 2u : 1u, found[0].registrations) << c.second_source;
    }
}

TEST_F(MemoryTableTest, UntrackUnlinksFromAnyPlaceInTheChain) {
    constexpr std::uint32_t kLine = 42001;
    cutil_memory_track("Cutil_Xml", nullptr, 16, "f", kLine);  // never registered
    cutil_memory_track("Cutil_Xml", fake_block(0xD000), 0, "f", kLine);
    EXPECT_TRUE(sites(kLine).empty());
    cutil_memory_track("Cutil_Xml", fake_block(0xA000), 10, "f", kLine);
    cutil_memory_track("Cutil_Xml", fake_block(0xB000), 20, "f", kLine);
    cutil_memory_track("Cutil_Xml", fake_block(0xC000), 40, "f", kLine);
    ASSERT_EQ((std::vector<std::uint32_t>{0xC000, 0xB000, 0xA000}), chain(kLine));

    cutil_memory_untrack(fake_block(0xB000));  // the middle
    EXPECT_EQ((std::vector<std::uint32_t>{0xC000, 0xA000}), chain(kLine));
    cutil_memory_untrack(fake_block(0xF000));  // never registered: nothing changes
    cutil_memory_untrack(nullptr);
    EXPECT_EQ(1u, sites(kLine).at(0).releases);
    EXPECT_EQ(50u, sites(kLine).at(0).live_bytes);

    cutil_memory_untrack(fake_block(0xC000));  // the head
    cutil_memory_untrack(fake_block(0xA000));  // the last
    EXPECT_TRUE(chain(kLine).empty());
    const Site site = sites(kLine).at(0);
    EXPECT_EQ(3u, site.registrations);
    EXPECT_EQ(3u, site.releases);
    EXPECT_EQ(0u, site.live_bytes);
    EXPECT_EQ(70u, site.total_bytes);
    // Removed entries are cleared: they are free again.
    for (std::uint32_t i = 0; i < kEntryCount; ++i) {
        const std::uint32_t address = entry_by_index(table(), i)->address;
        EXPECT_FALSE(address >= 0xA000 && address <= 0xC000) << i;
    }
}

TEST_F(MemoryTableTest, FullEntryAreaDropsRegistrations) {
    constexpr std::uint32_t kLine = 44001;
    write_table([&] {
        for (std::uint32_t i = 0; i < kEntryCount; ++i) {
            entry_by_index(table(), i)->address = 0xE0000000u + i;
        }
    });
    cutil_memory_track("Cutil_Xml", fake_block(0x8000), 4, "f", kLine);
    EXPECT_TRUE(sites(kLine).empty());

    write_table([&] { entry_by_index(table(), 4095)->address = 0; });  // one free: the last
    cutil_memory_track("Cutil_Xml", fake_block(0x8000), 4, "f", kLine);
    ASSERT_EQ(1u, sites(kLine).size());
    ASSERT_EQ(1u, sites(kLine)[0].live.size());
    EXPECT_EQ(entry_offset(4095), sites(kLine)[0].live[0].offset);
}

TEST_F(MemoryTableTest, FullSiteAreaDropsNewSitesButServesKnownOnes) {
    constexpr std::uint32_t kKnownLine = 45001;
    SiteRecord* known = site_at(table(), kSiteCount - 1);
    write_table([&] {
        for (std::uint32_t i = 0; i < kSiteCount; ++i) {
            SiteRecord* site = site_at(table(), i);
            std::memset(site, 0, sizeof *site);
            site->length = kSiteRecordLength;
            site->line = i;  // process 0: nobody's
        }
        known->process_id = os::process_id();
        known->line = kKnownLine;
        std::strcpy(known->source, "Cutil_Xml");
    });

    cutil_memory_track("Cutil_Xml", fake_block(0x9000), 4, "f", 45002);  // a new site
    EXPECT_EQ(0u, entry_by_index(table(), 0)->address);
    cutil_memory_track("cutil_xml", fake_block(0x9100), 4, "f", kKnownLine);
    EXPECT_EQ(1u, known->registrations);
    ASSERT_NE(nullptr, entry_at(table(), known->chain_head));
    EXPECT_EQ(0x9100u, entry_at(table(), known->chain_head)->address);
}

TEST_F(MemoryTableTest, DamagedChainsAreNeverFollowedOutOfTheEntryArea) {
    // Head offsets a faulty peer might leave: below the entry area, past the
    // table, between two entries, and an entry that links to itself.
    const std::uint32_t heads[] = {
        4,           kEntryAreaOffset - 12, kTableSize, kTableSize + 4096, kEntryAreaOffset + 13,
        0xFFFFFFF0u, entry_offset(7)};
    Entry* looping = entry_by_index(table(), 7);
    write_table([&] {
        *looping = Entry{0x4444, 1, entry_offset(7)};
        std::uint32_t index = 0;
        for (const std::uint32_t head : heads) {
            SiteRecord* site = site_at(table(), index++);
            site->length = kSiteRecordLength;
            site->line = 1;
            site->chain_head = head;
        }
    });
    cutil_memory_untrack(fake_block(0x5555));  // walks every chain, finds nothing
    Snapshot snapshot;
    ASSERT_TRUE(monitor_.snapshot(&snapshot));
    ASSERT_GE(snapshot.sites.size(), 7u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(snapshot.sites[i].live.empty()) << i;
    EXPECT_LE(snapshot.sites[6].live.size(), kEntryCount);
    EXPECT_EQ(0x4444u, looping->address);
}

QUARN_TEST_HELPER(memory_registrar) {
    cutil_memory_track("Cutil_Xml", fake_block(0x3000), 3, "helper", 46001);
    cutil_memory_track("Cutil_Xml", fake_block(0x3100), 2, "helper", 46001);
    cutil_memory_untrack(fake_block(0x3000));  // its own 0x3000, not the parent's
    return 0;
}

TEST_F(MemoryTableTest, ASecondProcessGetsItsOwnSiteAndReleasesOnlyItsOwnBlocks) {
    constexpr std::uint32_t kLine = 46001;
    // The parent's site comes first in the table, so a release that ignored
    // the process would find the parent's 0x3000.
    cutil_memory_track("Cutil_Xml", fake_block(0x3000), 5, "parent", kLine);
    ASSERT_EQ(0, quarn::test::wait_helper(quarn::test::spawn_helper("memory_registrar")));
    const std::vector<Site> found = sites(kLine, 0);
    ASSERT_EQ(2u, found.size());
    const bool parent_first = found[0].process_id == os::process_id();
    const Site& parent = found[parent_first ? 0 : 1];
    const Site& helper = found[parent_first ? 1 : 0];
    EXPECT_EQ("helper", helper.function);
    EXPECT_EQ(2u, helper.registrations);
    EXPECT_EQ(1u, helper.releases);
    EXPECT_EQ(2u, helper.live_bytes);
    ASSERT_EQ(1u, helper.live.size());
    EXPECT_EQ(0x3100u, helper.live[0].address);
    EXPECT_EQ(0u, parent.releases);
    ASSERT_EQ(1u, parent.live.size());
    EXPECT_EQ(0x3000u, parent.live[0].address);
}

}  // namespace
