// quarnctl memory: be the allocation monitor and print its table.
#include <cstdio>

#include "cutil/memory_table.h"
#include "os/error.h"
#include "os/event.h"
#include "os/time.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/options.h"

namespace quarnctl {
namespace {

constexpr std::uint32_t kWatchMs = 2000;

void print_site(const cutil::memory::Site& site) {
    std::printf("%6u %6u %10u %10u %7u  %s:%u %s  (%s, since %s %s, tid %u)\n",
                static_cast<unsigned>(site.registrations), static_cast<unsigned>(site.releases),
                static_cast<unsigned>(site.live_bytes), static_cast<unsigned>(site.total_bytes),
                static_cast<unsigned>(site.process_id), printable(site.source).c_str(),
                static_cast<unsigned>(site.line), printable(site.function).c_str(),
                printable(site.module).c_str(), printable(site.date).c_str(),
                printable(site.time).c_str(), static_cast<unsigned>(site.thread_id));
    for (const cutil::memory::LiveEntry& entry : site.live) {
        std::printf("%43s block 0x%08x, %u bytes\n", "", static_cast<unsigned>(entry.address),
                    static_cast<unsigned>(entry.size));
    }
}

bool print_table(cutil::memory::Monitor* monitor) {
    cutil::memory::Snapshot snapshot;
    if (!monitor->snapshot(&snapshot)) {
        std::fprintf(stderr, "quarnctl memory: the table stayed taken\n");
        return false;
    }
    std::printf("%u sites, %u of %u entries in use\n", static_cast<unsigned>(snapshot.sites.size()),
                static_cast<unsigned>(snapshot.used_entries),
                static_cast<unsigned>(cutil::memory::kEntryCount));
    if (!snapshot.sites.empty()) {
        std::printf("%6s %6s %10s %10s %7s  %s\n", "regs", "rels", "live", "total", "pid",
                    "source:line function");
    }
    for (const cutil::memory::Site& site : snapshot.sites) print_site(site);
    std::fflush(stdout);
    return true;
}

}  // namespace

int run_memory(int argc, char** argv) {
    Options options;
    if (!options.parse("memory", argc, argv, {{"--watch", false}, {"--interval", true}})) {
        return 2;
    }
    std::uint32_t interval = 0;
    if (!options.milliseconds("--interval", kWatchMs, &interval)) return 2;

    // The monitor owns the table: it lives as long as this object.
    cutil::memory::Monitor monitor;
    if (monitor.create(0) && !monitor.holds_turn()) {
        std::fprintf(stderr, "quarnctl memory: waiting for the other allocation monitor to end\n");
        monitor.close();
        monitor.create(os::kWaitInfinite);
    }
    if (!monitor.is_open()) {
        std::fprintf(stderr, "quarnctl memory: cannot create the allocation table (error %u)\n",
                     static_cast<unsigned>(os::last_error()));
        return 1;
    }
    if (!options.has("--watch")) return print_table(&monitor) ? 0 : 1;
    for (;;) {
        const os::DateTime now = os::local_time();
        std::printf("--- %02d:%02d:%02d\n", now.hour, now.minute, now.second);
        print_table(&monitor);
        os::sleep_ms(interval);
    }
}

}  // namespace quarnctl
