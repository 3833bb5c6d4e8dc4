// Adapters from getifaddrs: one entry per interface name, its hardware
// address from the link-layer record (Linux), its IPv4 addresses in order.
#include "os/network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/if_packet.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/types.h"

namespace os {
namespace {

struct InterfaceListFree {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
struct AddressListFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

NetworkAdapter& adapter_named(std::vector<NetworkAdapter>* adapters, const char* name) {
    for (NetworkAdapter& adapter : *adapters) {
        if (adapter.name == name) return adapter;
    }
    adapters->emplace_back();
    adapters->back().name = name;
    adapters->back().description = name;
    return adapters->back();
}

}  // namespace

bool network_adapters(std::vector<NetworkAdapter>* adapters) {
    adapters->clear();
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const std::unique_ptr<ifaddrs, InterfaceListFree> list(raw);
    for (const ifaddrs* entry = raw; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr) continue;
        NetworkAdapter& adapter = adapter_named(adapters, entry->ifa_name);
        adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        adapter.up = (entry->ifa_flags & IFF_UP) != 0;
        if (entry->ifa_addr == nullptr) continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            sockaddr_in address;
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            char text[INET_ADDRSTRLEN] = {};
            if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr) {
                adapter.ipv4.emplace_back(text);
            }
        }
#ifdef __linux__
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            sockaddr_ll link;
            std::memcpy(&link, entry->ifa_addr, sizeof link);
            const std::size_t length = link.sll_halen <= sizeof link.sll_addr ? link.sll_halen : 0;
            adapter.mac = network_mac_text(link.sll_addr, length);
        }
#endif
    }
    return true;
}

bool network_route_source(const char* host, int port, std::string* local_ipv4) {
    if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    char service[8];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* raw = nullptr;
    if (getaddrinfo(host, service, &hints, &raw) != 0 || raw == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const std::unique_ptr<addrinfo, AddressListFree> found(raw);
    const int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    // Connecting a datagram socket only chooses the route; nothing leaves.
    const bool routed = connect(sock, raw->ai_addr, raw->ai_addrlen) == 0 &&
                        getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    const int saved = errno;
    close(sock);
    if (!routed) {
        posix::set_last_error_from_errno(saved);
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) == nullptr) return false;
    *local_ipv4 = text;
    return true;
}

}  // namespace os
