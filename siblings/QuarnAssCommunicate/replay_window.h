// Freshness of pushes: the highest message id taken and a 64-bit map of the
// 64 ids at and below it, as IPsec keeps its anti-replay window. An id above
// the highest slides the window up; one inside it is taken once; one below
// it is too old.
//
// Two additions keep the window from being turned against the agent. An id
// more than kMaxAhead above both the highest id taken and the clock (seconds
// since 1970, the way servers seed their push ids) is refused, so one tagged
// push with id 0xFFFFFFFF cannot slide the window to its end and silence
// every later push. And the window is written to a file after every push it
// takes and read back when it starts, so a push captured before a restart is
// still a replay after it.
#pragma once

#include <cstdint>
#include <string>

namespace communicate {

inline constexpr char kWindowFileName[] = "QuarnAssCommunicate.window";

class ReplayWindow {
  public:
    static constexpr std::uint32_t kSize = 64;
    static constexpr std::uint32_t kMaxAhead = 86400;  // one day of clock-seeded ids

    // The window kept in `state_path`; in memory only when it is empty. With
    // no argument, the file kWindowFileName of the assistant directory,
    // located at the first push.
    ReplayWindow();
    explicit ReplayWindow(std::string state_path);

    // True when `id` would be taken now (nothing is recorded).
    bool fresh(std::uint32_t id);
    // Records `id` as taken (and writes the file); false (and nothing
    // recorded) when it is not fresh.
    bool take(std::uint32_t id);

  private:
    void load();
    void save() const;

    bool located_ = false;  // state_path_ known and the file read
    std::string state_path_;
    bool started_ = false;
    std::uint32_t highest_ = 0;
    std::uint64_t seen_ = 0;  // bit n: highest_ - n was taken
};

}  // namespace communicate
