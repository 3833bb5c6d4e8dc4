// Readers of one shared object take turns. The trace ring hands each record
// to whichever reader drains first, and a monitor may rewrite the allocation
// table, so two readers at once (two quarnctl windows, two test programs run
// side by side) would each see a part of the truth. A turn is a named
// auto-reset event: waiting takes it, setting gives it back. The writers know
// nothing of it.
#pragma once

#include <cstdint>

namespace cutil::trace {

constexpr char kTraceReaderTurnName[] = "Global\\Quarn_TraceReaderTurn";
constexpr char kMemoryMonitorTurnName[] = "Global\\Quarn_MemoryMonitorTurn";

// Takes the named turn, waiting at most `timeout_ms`; true when it is held.
// Within one process the turn is shared: a second taker gets it at once.
bool turn_take(const char* name, std::uint32_t timeout_ms);
// Gives back a turn that turn_take returned true for.
void turn_give(const char* name);

}  // namespace cutil::trace
