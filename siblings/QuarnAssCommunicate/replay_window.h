// Freshness of pushes: the highest message id taken and a 64-bit map of the
// 64 ids at and below it, as IPsec keeps its anti-replay window. An id above
// the highest slides the window up; one inside it is taken once; one below
// it is too old. The first id is taken whatever its value.
#pragma once

#include <cstdint>

namespace communicate {

class ReplayWindow {
  public:
    static constexpr std::uint32_t kSize = 64;

    // True when `id` would be taken now (nothing is recorded).
    bool fresh(std::uint32_t id) const;
    // Records `id` as taken; false (and nothing recorded) when it is not fresh.
    bool take(std::uint32_t id);

  private:
    bool started_ = false;
    std::uint32_t highest_ = 0;
    std::uint64_t seen_ = 0;  // bit n: highest_ - n was taken
};

}  // namespace communicate
