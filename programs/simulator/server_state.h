// What the simulated server remembers while it runs: the devices (those of
// the scenario and those registered since), where each last spoke from, its
// last authentication and check, and the check reports by their ids. One
// lock; every answer is a copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "programs/simulator/scenario.h"

namespace simulator {

struct AuthRecord {
    std::string type;  // net_auth type, or "ReportAuthResult" for the agent's own report
    std::string user;
    bool accepted = false;
    std::string role_id;
    std::string policy_id;
    std::string time;
};

struct CheckItemResult {
    std::string item_id;
    std::string name;
    bool key = false;
    bool passed = false;
    std::string reason;
};

struct CheckRecord {
    std::string check_id;
    std::string device_id;
    std::string result;  // success, fault or false
    std::string score;
    std::string time;
    std::string update_fault_time;  // "now" starts a fault period (ends one on success)
    std::vector<CheckItemResult> items;
};

struct DeviceRecord {
    Device device;
    std::uint32_t address = 0;  // IPv4 of its last datagram, 0 before any
    std::string last_seen;
    std::optional<AuthRecord> last_auth;
    std::optional<CheckRecord> last_check;
    std::string auth_reported;  // the Result of its last ReportAuthResult
    std::string fault_since = "1970-01-01 00:00:00";
    bool cut_off = false;
    bool deleted = false;
};

class ServerState {
  public:
    explicit ServerState(Scenario scenario);

    // The scenario as loaded (users change while running: read them with users()).
    const Scenario& scenario() const { return scenario_; }

    // The device a registration query describes: the first whose computer
    // name and MAC (where the scenario gives them) match, else a new one
    // when the scenario registers unknown devices. Notes the address.
    std::optional<Device> register_device(const std::string& computer_name, const std::string& mac,
                                          std::uint32_t address);
    std::optional<DeviceRecord> device(const std::string& id) const;
    std::vector<DeviceRecord> devices() const;
    // Notes that `id` spoke from `address`; false for an unknown device.
    bool note_contact(const std::string& id, std::uint32_t address);
    void note_auth(const std::string& id, const AuthRecord& auth);
    void note_auth_report(const std::string& id, const std::string& result);
    // Stores the report under a new check id and returns it.
    std::string note_check(CheckRecord check);
    std::optional<CheckRecord> check(const std::string& check_id) const;
    bool set_cut_off(const std::string& id, bool cut_off);
    bool remove_device(const std::string& id);
    bool change_password(const std::string& user, const std::string& old_password,
                         const std::string& new_password);
    std::vector<User> users() const;
    // The next guest code, round the scenario's list; empty when it has none.
    std::string next_guest_code();
    // Push ids: seeded from the clock, so that an agent that saw an earlier
    // run's pushes takes this run's as fresh.
    std::uint32_t next_push_id();
    // Set when the server is ending: waits for push answers give up.
    void stop() { stopping_ = true; }
    bool stopping() const { return stopping_; }

  private:
    DeviceRecord* find(const std::string& id);

    mutable std::mutex mutex_;
    Scenario scenario_;
    std::map<std::string, DeviceRecord> devices_;
    std::map<std::string, CheckRecord> checks_;
    long next_device_id_;
    std::uint64_t next_check_id_ = 1;
    std::size_t next_guest_code_ = 0;
    std::uint32_t next_push_id_;
    std::atomic<bool> stopping_{false};
};

// The local time as the agent writes it, "%04d-%02d-%02d %02d:%02d:%02d".
std::string time_text();
std::string dotted(std::uint32_t ip);
// ASCII letters compared without case, every other byte as it is.
bool same_text(const std::string& a, const std::string& b);

}  // namespace simulator
