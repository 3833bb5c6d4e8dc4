// The monitor's side of the allocation table: create it, read it.
#include "cutil/memory_table.h"

#include <cstring>

#include "cutil/trace_fields.h"
#include "cutil/trace_turn.h"
#include "os/event.h"

namespace cutil::memory {
namespace {

Site decode_site(void* table, const SiteRecord& record) {
    Site site;
    cutil::trace::decode_stamp(record, &site);
    site.registrations = record.registrations;
    site.releases = record.releases;
    site.live_bytes = record.live_bytes;
    site.total_bytes = record.total_bytes;
    // At most one step per entry: a looping chain cannot hold the table.
    std::uint32_t offset = record.chain_head;
    for (std::uint32_t steps = 0; steps < kEntryCount; ++steps) {
        const Entry* entry = entry_at(table, offset);
        if (entry == nullptr || entry->address == 0) break;
        site.live.push_back(LiveEntry{offset, entry->address, entry->size});
        offset = entry->next;
    }
    return site;
}

}  // namespace

Entry* entry_at(void* table, std::uint32_t offset) {
    if (offset < kEntryAreaOffset || offset >= kTableSize) return nullptr;
    if ((offset - kEntryAreaOffset) % sizeof(Entry) != 0) return nullptr;
    return reinterpret_cast<Entry*>(static_cast<unsigned char*>(table) + offset);
}

bool Monitor::create(std::uint32_t turn_timeout_ms) {
    return objects_.create(cutil::trace::kMemoryMonitorTurnName, turn_timeout_ms, {kEventName},
                           kMappingName, kTableSize);
}

bool Monitor::snapshot(Snapshot* out, std::uint32_t timeout_ms) {
    out->sites.clear();
    out->used_entries = 0;
    if (!is_open() || os::event_wait(event(), timeout_ms) != 0) return false;

    // Copy, give the table back, then decode: registrations wait only for
    // the copy.
    std::vector<unsigned char> copy(kTableSize);
    std::memcpy(copy.data(), table(), kTableSize);
    os::event_set(event());

    void* table = copy.data();
    for (std::uint32_t index = 0; index < kSiteCount; ++index) {
        const SiteRecord* record = site_at(table, index);
        if (record->length == 0) break;
        out->sites.push_back(decode_site(table, *record));
    }
    for (std::uint32_t index = 0; index < kEntryCount; ++index) {
        if (entry_by_index(table, index)->address != 0) ++out->used_entries;
    }
    return true;
}

}  // namespace cutil::memory
