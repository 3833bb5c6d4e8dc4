// One request/reply exchange with the server over UDP: the request's text
// form in fragments, up to `tries` sends each waiting `reply_wait_ms` for the
// reply, the reply gathered and parsed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/socket.h"

struct XmlNode;

namespace communicate {

struct ExchangeTimes {
    std::uint32_t reply_wait_ms = 3000;
    int tries = 3;
};

// Nonzero with *reply set to a new document (the caller frees it with
// cutil_xml_free) when the server answered; 0 otherwise, *reply untouched.
int udp_exchange(const char* host, int port, const XmlNode* request, XmlNode** reply,
                 const std::string& key, const ExchangeTimes& times);

// Sends the datagrams of one message, pausing briefly after every few so
// that a burst of large fragments does not overrun the peer's buffer.
bool send_datagrams(os::Socket socket, const os::SocketAddress& to,
                    const std::vector<std::string>& datagrams);

}  // namespace communicate
