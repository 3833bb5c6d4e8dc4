// The shared allocation table as a monitor sees it: site records, entries and
// chains, byte for byte; full tables; damaged chains; a second process.
#include "cutil/memory_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cutil/memory.h"
#include "os/event.h"
#include "os/process.h"
#include "os/seams.h"
#include "support/helper_process.h"
#include "tests/cutil/trace_test_support.h"

namespace {

using namespace cutil::memory;

// Addresses are only recorded, never touched: made-up values keep the tests
// independent of the heap.
const void* fake_block(std::uintptr_t value) {
    return reinterpret_cast<const void*>(value);
}

class MemoryTableTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(monitor_.create()); }
    void TearDown() override { monitor_.close(); }

    unsigned char* table() const { return static_cast<unsigned char*>(monitor_.table()); }

    // Raw writes hold the table's event, as a registration does, so that
    // other programs registering meanwhile never see half of them.
    template <typename Write>
    void write_table(Write write) {
        ASSERT_EQ(0, os::event_wait(monitor_.event(), 5000));
        write();
        os::event_set(monitor_.event());
    }

    // This process's site for `line` (other programs may register too).
    SiteRecord* my_site(std::uint32_t line, std::uint32_t pid = os::process_id()) const {
        for (std::uint32_t i = 0; i < kSiteCount; ++i) {
            SiteRecord* site = site_at(table(), i);
            if (site->length == 0) break;
            if (site->process_id == pid && site->line == line) return site;
        }
        return nullptr;
    }

    int sites_for_line(std::uint32_t line) const {
        Snapshot snapshot;
        EXPECT_TRUE(monitor_.snapshot(&snapshot));
        int count = 0;
        for (const Site& site : snapshot.sites) count += site.line == line ? 1 : 0;
        return count;
    }

    std::vector<std::uint32_t> chain_addresses(std::uint32_t line) const {
        Snapshot snapshot;
        EXPECT_TRUE(monitor_.snapshot(&snapshot));
        std::vector<std::uint32_t> addresses;
        for (const Site& site : snapshot.sites) {
            if (site.process_id != os::process_id() || site.line != line) continue;
            for (const LiveEntry& entry : site.live) addresses.push_back(entry.address);
        }
        return addresses;
    }

    mutable Monitor monitor_;
};

std::uint32_t u32_at(const void* base, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

TEST_F(MemoryTableTest, SameSiteTwiceIsOneRecordWithTwoChainedEntries) {
    os::seams::FakeClock clock;
    clock.local = os::DateTime{2026, 12, 1, 7, 6, 5, 4, 3};
    os::seams::install_fake_clock(&clock);
    cutil_memory_track(".\\Cutil_Xml", fake_block(0x5000), 1, "cutil_xml_create", 41001);
    cutil_memory_track("Cutil_Xml", fake_block(0x6000), 24, "cutil_xml_import", 41001);
    os::seams::install_fake_clock(nullptr);

    const SiteRecord* site = my_site(41001);
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(1, sites_for_line(41001));
    EXPECT_EQ(256u, u32_at(site, 0));
    EXPECT_STREQ("2026-12-07", reinterpret_cast<const char*>(site) + 4);
    EXPECT_STREQ("06:05:04.003", reinterpret_cast<const char*>(site) + 16);
    EXPECT_EQ(quarn::test::own_program_name(), reinterpret_cast<const char*>(site) + 32);
    EXPECT_EQ(os::process_id(), u32_at(site, 96));
    EXPECT_EQ(os::thread_id(), u32_at(site, 100));
    EXPECT_STREQ("Cutil_Xml", reinterpret_cast<const char*>(site) + 104);
    EXPECT_STREQ("cutil_xml_create", reinterpret_cast<const char*>(site) + 168);  // the first
    EXPECT_EQ(41001u, u32_at(site, 232));
    EXPECT_EQ(2u, u32_at(site, 236));   // registrations
    EXPECT_EQ(0u, u32_at(site, 240));   // releases
    EXPECT_EQ(25u, u32_at(site, 244));  // live bytes
    EXPECT_EQ(25u, u32_at(site, 248));  // total bytes

    // Newest first: head -> 0x6000 -> 0x5000 -> end.
    const std::uint32_t head = u32_at(site, 252);
    ASSERT_GE(head, kEntryAreaOffset);
    EXPECT_EQ(0x6000u, u32_at(table(), head));
    EXPECT_EQ(24u, u32_at(table(), head + 4));
    const std::uint32_t older = u32_at(table(), head + 8);
    ASSERT_GE(older, kEntryAreaOffset);
    EXPECT_EQ(0x5000u, u32_at(table(), older));
    EXPECT_EQ(1u, u32_at(table(), older + 4));
    EXPECT_EQ(0u, u32_at(table(), older + 8));
}

struct MatchCase {
    const char* name;
    std::string first_source;
    std::string second_source;
    int line_step;  // the second registration's line minus the first's
    bool same_site;
};

class MemorySiteMatchTest : public MemoryTableTest,
                            public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MemorySiteMatchTest, SitesMatchOnLineProcessAndSourcePrefix) {
    const MatchCase& c = GetParam();
    // A line of its own for each case: no case sees another's site.
    static std::uint32_t next_line = 50000;
    const std::uint32_t line = next_line += 10;
    cutil_memory_track(c.first_source.c_str(), fake_block(0x7000), 8, "f", line);
    cutil_memory_track(c.second_source.c_str(), fake_block(0x7100), 8, "f", line + c.line_step);
    const SiteRecord* site = my_site(line);
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(c.same_site ? 2u : 1u, site->registrations);
    if (!c.same_site) {
        EXPECT_EQ(c.line_step == 0 ? 2 : 1, sites_for_line(line));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MemorySiteMatchTest,
    ::testing::Values(MatchCase{"SameNameSameLine", "Cutil_Xml", "Cutil_Xml", 0, true},
                      MatchCase{"CaseIgnored", "Cutil_Xml", "CUTIL_XML", 0, true},
                      MatchCase{"StoredNameIsAPrefix", "Cutil", "Cutil_Xml", 0, true},
                      MatchCase{"CallerNameIsShorter", "Cutil_Xml", "Cutil", 0, false},
                      MatchCase{"DotBackslashIgnored", ".\\Cutil_File", "Cutil_File", 0, true},
                      MatchCase{"OtherLine", "Cutil_Xml", "Cutil_Xml", 1, false},
                      MatchCase{"LongNamesMatchOnTheStored63", std::string(70, 'a') + "x",
                                std::string(70, 'a') + "y", 0, true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(MemoryTableTest, UntrackUnlinksFromAnyPlaceInTheChain) {
    constexpr std::uint32_t kLine = 42001;
    cutil_memory_track("Cutil_Xml", fake_block(0xA000), 10, "f", kLine);
    cutil_memory_track("Cutil_Xml", fake_block(0xB000), 20, "f", kLine);
    cutil_memory_track("Cutil_Xml", fake_block(0xC000), 40, "f", kLine);
    ASSERT_EQ((std::vector<std::uint32_t>{0xC000, 0xB000, 0xA000}), chain_addresses(kLine));

    cutil_memory_untrack(fake_block(0xB000));  // the middle
    EXPECT_EQ((std::vector<std::uint32_t>{0xC000, 0xA000}), chain_addresses(kLine));
    cutil_memory_untrack(fake_block(0xF000));  // never registered: nothing changes
    cutil_memory_untrack(nullptr);
    const SiteRecord* site = my_site(kLine);
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(3u, site->registrations);
    EXPECT_EQ(1u, site->releases);
    EXPECT_EQ(50u, site->live_bytes);
    EXPECT_EQ(70u, site->total_bytes);

    cutil_memory_untrack(fake_block(0xC000));  // the head
    cutil_memory_untrack(fake_block(0xA000));  // the last
    EXPECT_TRUE(chain_addresses(kLine).empty());
    EXPECT_EQ(0u, site->chain_head);
    EXPECT_EQ(3u, site->releases);
    EXPECT_EQ(0u, site->live_bytes);
    EXPECT_EQ(70u, site->total_bytes);
    // Removed entries are cleared: they are free again.
    for (std::uint32_t i = 0; i < kEntryCount; ++i) {
        const Entry* entry = entry_by_index(table(), i);
        EXPECT_FALSE(entry->address >= 0xA000 && entry->address <= 0xC000) << i;
    }
}

TEST_F(MemoryTableTest, NullAddressOrZeroSizeIsNeverRegistered) {
    constexpr std::uint32_t kLine = 43001;
    cutil_memory_track("Cutil_Xml", nullptr, 16, "f", kLine);
    cutil_memory_track("Cutil_Xml", fake_block(0xD000), 0, "f", kLine);
    EXPECT_EQ(nullptr, my_site(kLine));
}

TEST_F(MemoryTableTest, FullEntryAreaDropsRegistrations) {
    constexpr std::uint32_t kLine = 44001;
    write_table([&] {
        for (std::uint32_t i = 0; i < kEntryCount; ++i) {
            entry_by_index(table(), i)->address = 0xE0000000u + i;
        }
    });
    cutil_memory_track("Cutil_Xml", fake_block(0x8000), 4, "f", kLine);
    EXPECT_EQ(nullptr, my_site(kLine));

    write_table([&] { entry_by_index(table(), 4095)->address = 0; });  // one free: the last
    cutil_memory_track("Cutil_Xml", fake_block(0x8000), 4, "f", kLine);
    const SiteRecord* site = my_site(kLine);
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(entry_offset(4095), site->chain_head);
    EXPECT_EQ(0x8000u, entry_by_index(table(), 4095)->address);
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
    EXPECT_EQ(0x9100u, u32_at(table(), known->chain_head));
}

TEST_F(MemoryTableTest, DamagedChainsAreNeverFollowedOutOfTheEntryArea) {
    // Head offsets a faulty peer might leave: below the entry area, past the
    // table, between two entries, and an entry that links to itself.
    const std::uint32_t heads[] = {
        4,           kEntryAreaOffset - 12, kTableSize, kTableSize + 4096, kEntryAreaOffset + 13,
        0xFFFFFFF0u, entry_offset(7)};
    Entry* looping = entry_by_index(table(), 7);
    write_table([&] {
        looping->address = 0x4444;
        looping->size = 1;
        looping->next = entry_offset(7);
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
    Snapshot snapshot;
    ASSERT_TRUE(monitor_.snapshot(&snapshot));
    const Site* parent = nullptr;
    const Site* helper = nullptr;
    for (const Site& site : snapshot.sites) {
        if (site.line != kLine) continue;
        (site.process_id == os::process_id() ? parent : helper) = &site;
    }
    ASSERT_NE(nullptr, parent);
    ASSERT_NE(nullptr, helper);
    EXPECT_EQ("helper", helper->function);
    EXPECT_EQ(2u, helper->registrations);
    EXPECT_EQ(1u, helper->releases);
    EXPECT_EQ(2u, helper->live_bytes);
    ASSERT_EQ(1u, helper->live.size());
    EXPECT_EQ(0x3100u, helper->live[0].address);
    EXPECT_EQ(0u, parent->releases);
    EXPECT_EQ(5u, parent->live_bytes);
    ASSERT_EQ(1u, parent->live.size());
    EXPECT_EQ(0x3000u, parent->live[0].address);
}

}  // namespace
