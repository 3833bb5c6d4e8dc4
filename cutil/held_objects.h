// The named objects an outside reader of the trace ring or monitor of the
// allocation table creates and holds while it runs: its turn (trace_turn.h),
// auto-reset events created set (the first writer gets in at once) and a
// zero-filled mapping. The writers only ever open them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "os/shared_memory.h"
#include "os/types.h"

namespace cutil::trace {

class HeldObjects {
  public:
    static constexpr std::size_t kMaxEvents = 2;

    HeldObjects() = default;
    ~HeldObjects() { close(); }
    HeldObjects(const HeldObjects&) = delete;
    HeldObjects& operator=(const HeldObjects&) = delete;

    // Waits at most `turn_timeout_ms` for the turn (without it the objects are
    // shared with the other holder), then creates or opens the events, in
    // order, and the mapping. On failure nothing stays open.
    bool create(const char* turn_name, std::uint32_t turn_timeout_ms,
                std::initializer_list<const char*> event_names, const char* mapping_name,
                std::size_t mapping_size);
    // Closes in reverse order and gives the turn back.
    void close();

    bool is_open() const { return memory_.view != nullptr; }
    bool holds_turn() const { return turn_name_ != nullptr; }
    os::Handle event(std::size_t index) const { return events_[index]; }
    void* view() const { return memory_.view; }

  private:
    const char* turn_name_ = nullptr;  // set while the turn is held
    os::Handle events_[kMaxEvents] = {};
    std::size_t event_count_ = 0;
    os::SharedMemory memory_;
};

}  // namespace cutil::trace
