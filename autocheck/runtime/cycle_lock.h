// The one lock of the admission cycles: the automatic cycle and its twin
// with explicit credentials hold it for a whole pass, so a forced check
// pushed while a cycle runs waits for it, and the stored outcome is always
// that of one whole cycle.
#pragma once

#include <mutex>

namespace autocheck {

std::mutex& admission_cycle_lock();

}  // namespace autocheck
