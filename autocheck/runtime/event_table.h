// The tray's named events: which event stands where in the wait, and what
// each one does.
#pragma once

#include "autocheck/runtime/tray_actions.h"

namespace tray_event {

inline constexpr int kCount = 14;

struct Entry {
    const char* name;  // plain, without a kernel namespace prefix
    tray_action::Action action;
};

// In wait order: when several events are signalled at once, the lowest
// position is handled first.
extern const Entry kEntries[kCount];

// The positions in the order the events are created.
extern const int kCreationOrder[kCount];

}  // namespace tray_event
