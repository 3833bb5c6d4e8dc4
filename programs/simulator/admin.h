// The administrator's side: the devices as JSON and as a page with a button
// per push command, and the push request taken from a form.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "programs/simulator/push.h"
#include "programs/simulator/server_state.h"
#include "programs/simulator/xml_text.h"

namespace simulator {

// Every device with its last authentication and check (UTF-8).
Json state_json(const ServerState& state);
// The admin page (UTF-8 HTML): a summary and page `page` (from 0) of the devices.
std::string admin_page(const ServerState& state, std::size_t page = 0);
// A push request from the fields of /admin/push (UTF-8): device, command,
// wait (seconds), address and the command's elements by name.
PushRequest push_request(const std::map<std::string, std::string>& fields);
Json push_json(const PushOutcome& outcome);
// The installation packet (GBK XML) that installs the agent against this
// server as `device` (fields: device, user, auth_type), its addresses on
// `host` ("127.0.0.1:36580"); empty for an unknown device or user. Device
// "new" gives a packet for a machine the server does not know yet.
inline constexpr char kNewDevice[] = "new";
// `scheme` is the web root's: "https" when the simulator serves HTTPS, and
// then `pin` (the server key's ServerKeyPin) goes into the packet, so that
// the endpoint verifies the server with no step of its own.
std::string install_packet(const ServerState& state,
                           const std::map<std::string, std::string>& fields,
                           const std::string& host, const std::string& scheme = "http",
                           const std::string& pin = "");

}  // namespace simulator
