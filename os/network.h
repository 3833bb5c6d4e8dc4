// The machine's network adapters and the route towards a server, for the
// device description the access server keeps (GetAdaptersAddresses and
// Winsock on Windows, getifaddrs and BSD sockets on POSIX).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace os {

struct NetworkAdapter {
    std::string name;         // "eth0"; Windows: the adapter's friendly name (system code page)
    std::string description;  // Windows: the driver's description; POSIX: the name again
    std::string mac;          // "00-16-3E-0A-0B-0C"; empty when the adapter has no hardware address
    std::vector<std::string> ipv4;  // dotted addresses, in the system's order
    bool loopback = false;
    bool up = false;
};

// Every adapter the system lists, in its order. False (last error set) when
// the list cannot be read.
bool network_adapters(std::vector<NetworkAdapter>* adapters);

// The local IPv4 address that a datagram to `host` (name or dotted address)
// and `port` would leave from: a UDP socket connected there, whose local
// address is read back; nothing is sent. False when the host does not
// resolve or no route leads there.
bool network_route_source(const char* host, int port, std::string* local_ipv4);

// "00-16-3E-0A-0B-0C" from raw hardware address bytes; "" for none.
std::string network_mac_text(const unsigned char* bytes, std::size_t length);

}  // namespace os
