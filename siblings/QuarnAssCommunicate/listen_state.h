// Whether one of the module's two ports is ours: the receive and local
// threads record every bind here. A port another program holds is traced
// when it is first refused and again when it is won back, and both ports'
// states are written to the status file that `quarnctl status` shows.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace communicate {

inline constexpr char kStatusFileName[] = "QuarnAssCommunicate.status";

// A port that is held is tried again after 1 s, then twice as long each
// time up to 30 s.
inline constexpr std::uint32_t kFirstRebindMs = 1000;
inline constexpr std::uint32_t kLastRebindMs = 30000;
std::uint32_t next_rebind_wait(std::uint32_t waited_ms);

class ListenState {
  public:
    // `what` names the port in traces; `key` in the status file.
    ListenState(const char* what, const char* key) : what_(what), key_(key) {}

    void bound(std::uint16_t port);
    void refused(std::uint16_t port, std::uint32_t error);
    void closed();
    std::uint16_t bound_port() const;
    // One line of the status file: "<key>=listening <port>" or
    // "<key>=held <port> since <time>, <n> tries, error <code>".
    std::string line() const;

  private:
    const char* what_;
    const char* key_;
    mutable std::mutex lock_;
    std::uint16_t port_ = 0;
    bool listening_ = false;
    bool refused_ = false;
    std::uint32_t tries_ = 0;
    std::uint32_t error_ = 0;
    std::string since_;
};

// Writes the lines of both ports (and this process's id) to the status file
// in the assistant directory, owner-only; removed when the module stops.
void write_status(const ListenState& push, const ListenState& local);
void remove_status();

}  // namespace communicate
