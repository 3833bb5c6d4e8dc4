// The shared allocation table: the layout that cutil_memory_track writes and
// an outside monitor (quarnctl memory, the tests) creates and reads.
//
// Mapping "Global\KORV_MemoryOut_ShareMemory", 180224 bytes, guarded by the
// event "Global\KORV_MemoryOut_Event": 512 site records of 256 bytes from
// offset 0 (the first record of length 0 ends the part in use), then 4096
// allocation entries of 12 bytes from offset 131072 (address 0 = free).
// Integers are 32-bit little-endian; texts zero-terminated and padded GBK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cutil/held_objects.h"
#include "cutil/trace_fields.h"
#include "os/types.h"

namespace cutil::memory {

constexpr char kMappingName[] = "Global\\KORV_MemoryOut_ShareMemory";
constexpr char kEventName[] = "Global\\KORV_MemoryOut_Event";

constexpr std::uint32_t kSiteCount = 512;
constexpr std::uint32_t kEntryCount = 4096;
constexpr std::uint32_t kSiteRecordLength = 256;
constexpr std::uint32_t kTextFieldLength = 63;
constexpr std::uint32_t kWaitMs = 2000;
constexpr std::uint32_t kMonitorTurnWaitMs = 30000;

struct SiteRecord {
    std::uint32_t length;  // 256; 0 = empty record
    char date[12];         // first registration, "%04d-%02d-%02d"
    char time[16];         // "%02d:%02d:%02d.%03d"
    char module[64];
    std::uint32_t process_id;
    std::uint32_t thread_id;  // of the first registration
    char source[64];
    char function[64];
    std::uint32_t line;
    std::uint32_t registrations;
    std::uint32_t releases;
    std::uint32_t live_bytes;
    std::uint32_t total_bytes;
    std::uint32_t chain_head;  // table offset of the newest live entry; 0 = none
};

struct Entry {
    std::uint32_t address;  // as registered; 0 = free
    std::uint32_t size;
    std::uint32_t next;  // table offset of the site's next older entry; 0 ends
};

static_assert(offsetof(SiteRecord, date) == 4);
static_assert(offsetof(SiteRecord, time) == 16);
static_assert(offsetof(SiteRecord, module) == 32);
static_assert(offsetof(SiteRecord, process_id) == 96);
static_assert(offsetof(SiteRecord, thread_id) == 100);
static_assert(offsetof(SiteRecord, source) == 104);
static_assert(offsetof(SiteRecord, function) == 168);
static_assert(offsetof(SiteRecord, line) == 232);
static_assert(offsetof(SiteRecord, registrations) == 236);
static_assert(offsetof(SiteRecord, releases) == 240);
static_assert(offsetof(SiteRecord, live_bytes) == 244);
static_assert(offsetof(SiteRecord, total_bytes) == 248);
static_assert(offsetof(SiteRecord, chain_head) == 252);
static_assert(sizeof(SiteRecord) == 256);
static_assert(sizeof(Entry) == 12);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the table is little-endian");

constexpr std::uint32_t kEntryAreaOffset = 131072;
constexpr std::uint32_t kTableSize = kEntryAreaOffset + kEntryCount * sizeof(Entry);
static_assert(kTableSize == 180224);
static_assert(kSiteCount * sizeof(SiteRecord) == kEntryAreaOffset);

// The table as the 32-bit address fields see a block. The 64-bit native build
// keeps the low 32 bits of the address (see docs/diagnostics.md).
inline std::uint32_t address_field(const void* address) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
}

// Views over a mapped table. Chain offsets come from other processes, so
// every walk goes through entry_at, which accepts only real entry offsets.
inline SiteRecord* site_at(void* table, std::uint32_t index) {
    return reinterpret_cast<SiteRecord*>(static_cast<unsigned char*>(table) +
                                         std::size_t{index} * sizeof(SiteRecord));
}
// Null unless `offset` is the start of one of the 4096 entries.
Entry* entry_at(void* table, std::uint32_t offset);
inline std::uint32_t entry_offset(std::uint32_t index) {
    return kEntryAreaOffset + index * static_cast<std::uint32_t>(sizeof(Entry));
}
// Entry `index` (below kEntryCount), for walks in table order.
inline Entry* entry_by_index(void* table, std::uint32_t index) {
    return reinterpret_cast<Entry*>(static_cast<unsigned char*>(table) + entry_offset(index));
}

// What a monitor shows.
struct LiveEntry {
    std::uint32_t offset = 0;  // table offset of the entry
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};

struct Site : cutil::trace::DecodedStamp {
    std::uint32_t registrations = 0;
    std::uint32_t releases = 0;
    std::uint32_t live_bytes = 0;
    std::uint32_t total_bytes = 0;
    std::vector<LiveEntry> live;  // the site's chain, newest first
};

struct Snapshot {
    std::vector<Site> sites;
    std::uint32_t used_entries = 0;  // entries with a non-zero address
};

// The monitor's side of the table.
class Monitor {
  public:
    // Creates the event (auto-reset, initially set: the first registration
    // takes the table at once) and the zero-filled table, or opens them when
    // another monitor exists. First waits at most `turn_timeout_ms` for the
    // monitors' turn (trace_turn.h); without it the table is shared.
    bool create(std::uint32_t turn_timeout_ms = kMonitorTurnWaitMs);
    void close() { objects_.close(); }
    bool is_open() const { return objects_.is_open(); }
    bool holds_turn() const { return objects_.holds_turn(); }

    // Takes the event (at most `timeout_ms`), decodes sites and chains, gives
    // the event back. False when the table could not be taken.
    bool snapshot(Snapshot* out, std::uint32_t timeout_ms = kWaitMs);

    // The raw table, for tests that inspect bytes or fill it up.
    void* table() const { return objects_.view(); }
    os::Handle event() const { return objects_.event(0); }

  private:
    cutil::trace::HeldObjects objects_;
};

}  // namespace cutil::memory
