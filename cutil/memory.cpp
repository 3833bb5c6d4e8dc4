// Heap blocks of the library, and their registration in the monitor's shared
// allocation table. Each registration opens, maps, changes and closes the
// table; without a monitor it costs one failed open.
#include "cutil/memory.h"

#include <cstdint>
#include <cstring>

#include "cutil/memory_table.h"
#include "cutil/trace.h"
#include "cutil/trace_fields.h"
#include "os/event.h"
#include "os/memory.h"
#include "os/process.h"
#include "os/shared_memory.h"

namespace {

using namespace cutil::memory;

constexpr char kSourceName[] = "Cutil_Memory.cpp";

// The monitor's table, opened for one call; closes in reverse order.
struct OpenTable {
    os::Handle event = nullptr;
    os::SharedMemory memory;

    ~OpenTable() {
        os::shared_memory_close(&memory);
        if (event != nullptr) os::event_close(event);
    }

    bool open() {
        event = os::event_open(kEventName);
        return event != nullptr && os::shared_memory_open(kMappingName, kTableSize, &memory);
    }
};

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The stored name equals the beginning of the caller's name over the stored
// name's length, ASCII case ignored.
bool source_matches(const char (&stored)[64], const char* source) {
    for (std::size_t i = 0; i < kTextFieldLength && stored[i] != '\0'; ++i) {
        if (fold(stored[i]) != fold(source[i])) return false;  // also at source's end
    }
    return true;
}

// The index of the first free entry, kEntryCount when all are in use.
std::uint32_t find_free_entry(void* table) {
    std::uint32_t index = 0;
    while (index < kEntryCount && entry_by_index(table, index)->address != 0) ++index;
    return index;
}

// The matching site record, else the first empty one; null when all 512 are
// used by other sites. *is_new tells which.
SiteRecord* find_site(void* table, const char* source, std::uint32_t line, bool* is_new) {
    const std::uint32_t process = os::process_id();
    for (std::uint32_t index = 0; index < kSiteCount; ++index) {
        SiteRecord* site = site_at(table, index);
        if (site->length == 0) {
            *is_new = true;
            return site;
        }
        if (site->line == line && site->process_id == process &&
            source_matches(site->source, source)) {
            *is_new = false;
            return site;
        }
    }
    return nullptr;
}

void fill_new_site(SiteRecord* site, const char* source, const char* function, std::uint32_t line) {
    using namespace cutil::trace;
    std::memset(site, 0, sizeof *site);
    site->length = kSiteRecordLength;
    stamp_local_time(site->date, site->time);
    own_module_name(site->module, sizeof site->module);
    site->process_id = os::process_id();
    site->thread_id = os::thread_id();
    copy_cut(site->source, source, kTextFieldLength);
    copy_cut(site->function, function, kTextFieldLength);
    site->line = line;
}

void register_block(void* table, const char* source, std::uint32_t address, std::uint32_t size,
                    const char* function, std::uint32_t line) {
    const std::uint32_t free_index = find_free_entry(table);
    if (free_index == kEntryCount) return;  // table full: the registration is dropped
    bool is_new = false;
    SiteRecord* site = find_site(table, source, line, &is_new);
    if (site == nullptr) return;  // 512 other sites: dropped
    if (is_new) fill_new_site(site, source, function, line);

    Entry* entry = entry_by_index(table, free_index);
    entry->address = address;
    entry->size = size;
    entry->next = site->chain_head;
    site->chain_head = entry_offset(free_index);
    site->registrations += 1;
    site->live_bytes += size;
    site->total_bytes += size;
}

void unregister_block(void* table, std::uint32_t address) {
    const std::uint32_t process = os::process_id();
    for (std::uint32_t index = 0; index < kSiteCount; ++index) {
        SiteRecord* site = site_at(table, index);
        if (site->length == 0) return;
        // A block belongs to the process that registered it: the same
        // address in another process is another block.
        if (site->process_id != process) continue;
        // Offsets come from other processes: only real entry offsets are
        // followed, and at most one step per entry, so a damaged chain can
        // neither read outside the table nor loop.
        std::uint32_t* link = &site->chain_head;
        for (std::uint32_t steps = 0; steps < kEntryCount; ++steps) {
            Entry* entry = entry_at(table, *link);
            if (entry == nullptr || entry->address == 0) break;
            if (entry->address == address) {
                site->releases += 1;
                site->live_bytes -= entry->size;
                *link = entry->next;
                std::memset(entry, 0, sizeof *entry);
                return;
            }
            link = &entry->next;
        }
    }
}

}  // namespace

void* MemAlloc_fre(std::size_t size) {
    // The heap reports a 0-byte block's size as 0, which MemFree_fre takes
    // for a block the heap does not know: such a block could never be
    // released. One byte keeps every block releasable.
    return os::heap_alloc_zeroed(size == 0 ? 1 : size);
}

void MemFree_fre(void* block) {
    if (block == nullptr) return;  // nothing to release, nothing wrong
    const std::size_t size = os::heap_size(block);
    if (size > 0) {
        os::heap_free(block);
        return;
    }
    LogTrace("MemFree_fre", kTraceError, kSourceName, __LINE__, "_Memory Size = %d",
             static_cast<int>(size));
}

void cutil_memory_track(const char* source, const void* address, std::size_t size,
                        const char* function, int line) {
    if (address == nullptr || size == 0) return;
    // The table's fields are 32 bits wide: a 64-bit address whose low half is
    // 0 would read as a free entry, so it is not registered.
    const std::uint32_t address32 = address_field(address);
    if (address32 == 0) return;
    const std::uint32_t size32 = size > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(size);

    OpenTable opened;
    if (!opened.open()) return;  // no monitor
    if (os::event_wait(opened.event, kWaitMs) == 0) {
        source = cutil::trace::strip_dot_backslash(source == nullptr ? "" : source);
        register_block(opened.memory.view, source, address32, size32, function,
                       static_cast<std::uint32_t>(line));
    }
    // Set also after a failed wait: a holder that died would otherwise lock
    // every process out of the table.
    os::event_set(opened.event);
}

void cutil_memory_untrack(const void* address) {
    if (address == nullptr) return;
    const std::uint32_t address32 = address_field(address);
    if (address32 == 0) return;  // never registered (see cutil_memory_track)

    OpenTable opened;
    if (!opened.open()) return;
    if (os::event_wait(opened.event, kWaitMs) == 0) {
        unregister_block(opened.memory.view, address32);
    }
    os::event_set(opened.event);
}
