#include "autocheck/runtime/cycle_lock.h"

namespace autocheck {

std::mutex& admission_cycle_lock() {
    static std::mutex lock;
    return lock;
}

}  // namespace autocheck
