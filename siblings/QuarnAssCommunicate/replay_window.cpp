#include "siblings/QuarnAssCommunicate/replay_window.h"

namespace communicate {

bool ReplayWindow::fresh(std::uint32_t id) const {
    if (!started_ || id > highest_) return true;
    const std::uint32_t age = highest_ - id;
    return age < kSize && (seen_ & (std::uint64_t{1} << age)) == 0;
}

bool ReplayWindow::take(std::uint32_t id) {
    if (!fresh(id)) return false;
    if (!started_) {
        started_ = true;
        highest_ = id;
        seen_ = 1;
    } else if (id > highest_) {
        const std::uint32_t shift = id - highest_;
        seen_ = shift >= kSize ? 0 : seen_ << shift;
        seen_ |= 1;
        highest_ = id;
    } else {
        seen_ |= std::uint64_t{1} << (highest_ - id);
    }
    return true;
}

}  // namespace communicate
