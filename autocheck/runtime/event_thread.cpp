#include <cstdint>

#include "autocheck/runtime/event_table.h"
#include "autocheck/threads.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "os/event.h"
#include "os/time.h"

namespace {

constexpr std::uint32_t kWaitMs = 60000;
constexpr std::uint32_t kRetryMs = 2000;

// Held for the life of the process. Only a test that ends the thread through
// the exit seam unwinds past it, and then the events are closed.
struct TrayEvents {
    os::Handle handles[tray_event::kCount] = {};
    TrayEvents() = default;
    TrayEvents(const TrayEvents&) = delete;
    TrayEvents& operator=(const TrayEvents&) = delete;
    ~TrayEvents() {
        for (os::Handle handle : handles) {
            if (handle != nullptr) os::event_close(handle);
        }
    }
};

}  // namespace

namespace autocheck {

std::uint32_t EventDoingThread(void*) {
    using tray_event::kEntries;
    tray_action::trace(kTraceInfo, __LINE__, "进入事件响应线程");
    tray_action::Context context;
    gateway::assistant_file_path("WebAuthTypeTmp", context.web_auth_type_tmp);

    // A failed creation goes unnoticed: the wait then fails and is retried.
    TrayEvents events;
    for (const int position : tray_event::kCreationOrder) {
        events.handles[position] =
            os::event_create(kEntries[position].name, os::EventReset::kManual, false);
    }
    for (;;) {
        const int position = os::event_wait_any(events.handles, tray_event::kCount, kWaitMs);
        if (position < 0 || position >= tray_event::kCount) {
            os::sleep_ms(kRetryMs);
            continue;
        }
        kEntries[position].action(context);
        // A signal that came while the action ran is merged with this one.
        os::event_reset(events.handles[position]);
    }
}

}  // namespace autocheck
