// The owner of a loopback connection's other end, from /proc/net/tcp: the
// line whose local address is our peer and whose remote address is us.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "os/socket.h"

namespace os {
namespace {

bool address_of(int fd, bool peer, sockaddr_in* address) {
    socklen_t length = sizeof *address;
    const int done = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(address), &length)
                          : getsockname(fd, reinterpret_cast<sockaddr*>(address), &length);
    return done == 0 && address->sin_family == AF_INET;
}

// As the kernel writes it: the address's 32 bits as stored, the port in
// host order, both in upper-case hex.
std::string table_form(const sockaddr_in& address) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X:%04X", static_cast<unsigned>(address.sin_addr.s_addr),
                  static_cast<unsigned>(ntohs(address.sin_port)));
    return text;
}

}  // namespace

bool socket_peer_is_own_user(Socket connection) {
    const int fd = static_cast<int>(connection);
    sockaddr_in peer{};
    sockaddr_in ours{};
    if (!address_of(fd, true, &peer) || !address_of(fd, false, &ours)) return false;
    const std::string local = table_form(peer);
    const std::string remote = table_form(ours);
    std::ifstream table("/proc/net/tcp");
    // Without the table (no /proc) nobody can be told apart: the secret's
    // proof still keeps other users out.
    if (!table) return true;
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        char slot[16], from[32], to[32], state[8], queues[40], timer[40], retransmits[16];
        unsigned long owner = 0;
        if (std::sscanf(line.c_str(), "%15s %31s %31s %7s %39s %39s %15s %lu", slot, from, to,
                        state, queues, timer, retransmits, &owner) != 8) {
            continue;
        }
        if (local == from && remote == to) return owner == static_cast<unsigned long>(getuid());
    }
    return false;
}

}  // namespace os
