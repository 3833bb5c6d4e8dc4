// Serving a fleet of endpoints: users made from a template (one per device),
// a push to every device at once, the state summed up and cut into pages so
// that the admin side stays usable with hundreds of devices.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "programs/simulator/push.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/scenario.h"
#include "programs/simulator/server_state.h"
#include "programs/simulator/xml_text.h"

namespace simulator {

// The device value of a push to every device ("quarnsim push --all").
inline constexpr char kAllDevices[] = "*";
// Devices on one page of the admin page and of /admin/state.
inline constexpr std::size_t kDevicesPerPage = 100;

// The users "generated_users" asks for: {"prefix", "count", "password",
// "role_id", "policy_id"} gives prefix0001 … prefixNNNN (at least four digits),
// each with the password and role. Empty with `error` for a bad template.
std::vector<User> generated_users(const Json& recipe, std::string* error);

// Sends `request` to every device that has spoken, many at once, and waits
// for all the answers; each push is recorded as a single one is. Answers
// {"sent", "answered"} (true when every device got it / answered), "devices",
// the counts sent and answered, the results by value and the devices that did
// not answer.
Json push_all(ServerState& state, Recorder& recorder, const PushRequest& request);

// Counts over all devices: registered, admitted (last authentication
// accepted), by last check result, cut off.
Json state_summary(const ServerState& state);

// The page of devices `page` (from 0) of the state, with the summary.
Json state_page(const ServerState& state, std::size_t page);

}  // namespace simulator
