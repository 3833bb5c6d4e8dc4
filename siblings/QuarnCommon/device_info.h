// The device description that QuarnCommon.dll hands to the agent, which
// forwards every child of its root to the access server. docs/device_info.md
// lists the elements.
#pragma once

#include <string>
#include <vector>

#include "os/network.h"

namespace device_info {

inline constexpr char kTraceSource[] = "QuarnCommon.cpp";

// Where the server is: from "<QUARN><ServerIp>%s</ServerIp><Port>%d</Port></QUARN>".
struct ServerAddress {
    std::string host;
    int port = 0;
};
// False when the text is not such a document or lacks the host; a missing
// or unreadable port reads as 0.
bool parse_argument(const char* argument, ServerAddress* server);

struct Device {
    std::string computer_name;
    std::string os_name;
    std::string os_version;
    std::string user_name;
    std::string domain_name;
    std::vector<os::NetworkAdapter> adapters;
    std::string route_address;  // the local IPv4 towards the server, "" when unknown
};

// What the system says about this machine; parts it cannot read stay empty
// (each is traced). `server` may be null: then no route is looked up.
Device describe(const ServerAddress* server);

// The reply document's text (GBK, XML header first); "" when out of memory.
std::string reply_text(const Device& device);

}  // namespace device_info
