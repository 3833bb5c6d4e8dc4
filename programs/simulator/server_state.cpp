#include "programs/simulator/server_state.h"

#include <chrono>
#include <cstdio>

#include "os/socket.h"
#include "os/time.h"

namespace simulator {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool same_text(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

namespace {

std::uint32_t clock_seconds() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

std::string time_text() {
    const os::DateTime now = os::local_time();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

std::string dotted(std::uint32_t ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xff, (ip >> 8) & 0xff,
                  ip & 0xff);
    return text;
}

ServerState::ServerState(Scenario scenario)
    : scenario_(std::move(scenario)),
      next_device_id_(scenario_.next_device_id),
      next_push_id_(clock_seconds()) {
    for (const Device& device : scenario_.devices) {
        DeviceRecord& record = devices_[device.id];
        record.device = device;
        os::SocketAddress address;
        if (!device.address.empty() && os::socket_resolve(device.address.c_str(), 0, &address)) {
            record.address = address.ip;
        }
    }
}

DeviceRecord* ServerState::find(const std::string& id) {
    const auto found = devices_.find(id);
    return found == devices_.end() || found->second.deleted ? nullptr : &found->second;
}

std::optional<Device> ServerState::register_device(const std::string& computer_name,
                                                   const std::string& mac, std::uint32_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceRecord* match = nullptr;
    for (auto& [id, record] : devices_) {
        const Device& device = record.device;
        if ((device.computer_name.empty() || same_text(device.computer_name, computer_name)) &&
            (device.mac.empty() || same_text(device.mac, mac))) {
            match = &record;
            break;
        }
    }
    if (match == nullptr) {
        if (!scenario_.register_unknown) return std::nullopt;
        std::string id = std::to_string(next_device_id_++);
        while (devices_.count(id) != 0) id = std::to_string(next_device_id_++);
        DeviceRecord& record = devices_[id];
        record.device.id = id;
        record.device.name = computer_name;
        record.device.computer_name = computer_name;
        record.device.mac = mac;
        match = &record;
    }
    // A device deleted from the tray registers again under its id.
    match->deleted = false;
    match->address = address;
    match->last_seen = time_text();
    return match->device;
}

std::optional<DeviceRecord> ServerState::device(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = devices_.find(id);
    if (found == devices_.end() || found->second.deleted) return std::nullopt;
    return found->second;
}

std::vector<DeviceRecord> ServerState::devices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeviceRecord> all;
    for (const auto& [id, record] : devices_) all.push_back(record);
    return all;
}

bool ServerState::note_contact(const std::string& id, std::uint32_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceRecord* record = find(id);
    if (record == nullptr) return false;
    record->address = address;
    record->last_seen = time_text();
    return true;
}

void ServerState::note_auth(const std::string& id, const AuthRecord& auth) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (DeviceRecord* record = find(id)) record->last_auth = auth;
}

void ServerState::note_auth_report(const std::string& id, const std::string& result) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (DeviceRecord* record = find(id)) record->auth_reported = result;
}

std::string ServerState::note_check(CheckRecord check) {
    std::lock_guard<std::mutex> lock(mutex_);
    check.check_id = std::to_string(next_check_id_++);
    if (DeviceRecord* record = find(check.device_id)) {
        record->last_check = check;
        if (same_text(check.result, "success")) {
            record->fault_since = "1970-01-01 00:00:00";
        } else if (same_text(check.update_fault_time, "now")) {
            record->fault_since = check.time;
        }
    }
    checks_[check.check_id] = check;
    return check.check_id;
}

std::optional<CheckRecord> ServerState::check(const std::string& check_id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = checks_.find(check_id);
    if (found == checks_.end()) return std::nullopt;
    return found->second;
}

bool ServerState::set_cut_off(const std::string& id, bool cut_off) {
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceRecord* record = find(id);
    if (record == nullptr) return false;
    record->cut_off = cut_off;
    return true;
}

bool ServerState::remove_device(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceRecord* record = find(id);
    if (record == nullptr) return false;
    record->deleted = true;
    return true;
}

bool ServerState::change_password(const std::string& user, const std::string& old_password,
                                  const std::string& new_password) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (User& each : scenario_.users) {
        if (each.name == user && each.password == old_password) {
            each.password = new_password;
            return true;
        }
    }
    return false;
}

std::vector<User> ServerState::users() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return scenario_.users;
}

std::string ServerState::next_guest_code() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scenario_.guest_codes.empty()) return "";
    return scenario_.guest_codes[next_guest_code_++ % scenario_.guest_codes.size()];
}

std::uint32_t ServerState::next_push_id() {
    std::lock_guard<std::mutex> lock(mutex_);
    return next_push_id_++;
}

}  // namespace simulator
