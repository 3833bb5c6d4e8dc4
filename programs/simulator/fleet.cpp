#include "programs/simulator/fleet.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "programs/simulator/admin.h"

namespace simulator {
namespace {

// Pushes in flight at once: a forced check holds its push for a whole cycle,
// so a fleet is pushed to in parallel, within what threads a server can hold.
constexpr std::size_t kParallelPushes = 256;
constexpr long kMaxGeneratedUsers = 1000000;

std::string id_text(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    return "";
}

}  // namespace

std::vector<User> generated_users(const Json& recipe, std::string* error) {
    std::vector<User> users;
    if (!recipe.is_object()) {
        *error = "\"generated_users\" is no object";
        return users;
    }
    const std::string prefix = recipe.value("prefix", std::string("user"));
    const long count = recipe.value("count", 0L);
    User model;
    model.password = recipe.value("password", std::string());
    model.assignment.role_id = id_text(recipe.value("role_id", Json()));
    model.assignment.policy_id = id_text(recipe.value("policy_id", Json()));
    if (count < 1 || count > kMaxGeneratedUsers || prefix.empty() ||
        model.assignment.role_id.empty() || model.assignment.policy_id.empty()) {
        *error =
            "\"generated_users\" needs a prefix, a count from 1 to 1000000, role_id and "
            "policy_id";
        return users;
    }
    const std::size_t digits = std::max<std::size_t>(4, std::to_string(count).size());
    users.reserve(static_cast<std::size_t>(count));
    for (long n = 1; n <= count; ++n) {
        const std::string number = std::to_string(n);
        User user = model;
        user.name = prefix + std::string(digits - number.size(), '0') + number;
        users.push_back(std::move(user));
    }
    return users;
}

Json push_all(ServerState& state, Recorder& recorder, const PushRequest& request) {
    std::vector<std::string> targets;
    std::size_t silent = 0;
    for (const DeviceRecord& record : state.devices()) {
        if (record.deleted) continue;
        if (record.address != 0) {
            targets.push_back(record.device.id);
        } else {
            ++silent;
        }
    }
    std::vector<PushOutcome> outcomes(targets.size());
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t i = next++; i < targets.size(); i = next++) {
            PushRequest one = request;
            one.device_id = targets[i];
            outcomes[i] = send_push(state, recorder, one);
        }
    };
    std::vector<std::thread> workers;
    const std::size_t count = std::min(targets.size(), kParallelPushes);
    for (std::size_t i = 0; i < count; ++i) workers.emplace_back(worker);
    for (std::thread& each : workers) each.join();

    std::size_t sent = 0, answered = 0;
    std::map<std::string, int> results;
    Json unanswered = Json::array();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const PushOutcome& outcome = outcomes[i];
        sent += outcome.sent ? 1 : 0;
        if (outcome.answered) {
            ++answered;
            ++results[std::to_string(outcome.result)];
        } else {
            unanswered.push_back(utf8(targets[i]));
        }
    }
    const std::size_t devices = targets.size() + silent;
    Json answer = {{"sent", devices > 0 && sent == devices},
                   {"answered", devices > 0 && answered == devices},
                   {"devices", devices},
                   {"sent_count", sent},
                   {"answered_count", answered},
                   {"not_spoken", silent},
                   {"results", results},
                   {"unanswered", unanswered}};
    if (devices == 0) answer["error"] = "no device has spoken to the server";
    return answer;
}

Json state_summary(const ServerState& state) {
    std::size_t devices = 0, admitted = 0, cut_off = 0, spoken = 0;
    std::map<std::string, std::size_t> checks;
    for (const DeviceRecord& record : state.devices()) {
        if (record.deleted) continue;
        ++devices;
        spoken += record.address != 0 ? 1 : 0;
        admitted += record.last_auth && record.last_auth->accepted ? 1 : 0;
        cut_off += record.cut_off ? 1 : 0;
        ++checks[record.last_check ? utf8(record.last_check->result) : "none"];
    }
    return {{"devices", devices},
            {"spoken", spoken},
            {"admitted", admitted},
            {"cut_off", cut_off},
            {"checks", checks}};
}

Json state_page(const ServerState& state, std::size_t page) {
    Json whole = state_json(state);
    const Json& all = whole["devices"];
    const std::size_t first = std::min(page * kDevicesPerPage, all.size());
    const std::size_t last = std::min(first + kDevicesPerPage, all.size());
    Json devices = Json::array();
    for (std::size_t i = first; i < last; ++i) devices.push_back(all[i]);
    const std::size_t pages = (all.size() + kDevicesPerPage - 1) / kDevicesPerPage;
    return {{"scenario", whole["scenario"]},
            {"summary", state_summary(state)},
            {"page", page},
            {"pages", std::max<std::size_t>(pages, 1)},
            {"devices", devices}};
}

}  // namespace simulator
