#include "cutil/held_objects.h"

#include "cutil/trace_turn.h"
#include "os/event.h"

namespace cutil::trace {

bool HeldObjects::create(const char* turn_name, std::uint32_t turn_timeout_ms,
                         std::initializer_list<const char*> event_names, const char* mapping_name,
                         std::size_t mapping_size) {
    close();
    if (event_names.size() > kMaxEvents) return false;
    if (turn_take(turn_name, turn_timeout_ms)) turn_name_ = turn_name;
    for (const char* name : event_names) {
        events_[event_count_] = os::event_create(name, os::EventReset::kAuto, true);
        if (events_[event_count_++] == nullptr) {
            close();
            return false;
        }
    }
    if (!os::shared_memory_create(mapping_name, mapping_size, &memory_)) {
        close();
        return false;
    }
    return true;
}

void HeldObjects::close() {
    os::shared_memory_close(&memory_);
    while (event_count_ > 0) {
        os::Handle& event = events_[--event_count_];
        if (event != nullptr) os::event_close(event);
        event = nullptr;
    }
    if (turn_name_ != nullptr) turn_give(turn_name_);
    turn_name_ = nullptr;
}

}  // namespace cutil::trace
