// Adapters from GetAdaptersAddresses (IPv4 view), the route from a connected
// Winsock datagram socket.
// winsock2.h before windows.h; iphlpapi.h and ws2tcpip.h after both.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include "os/network.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "os/error.h"
#include "os/text.h"
#include "os/types.h"

namespace os {
namespace {

std::string narrow(const wchar_t* wide) {
    if (wide == nullptr) return {};
    const auto* text = reinterpret_cast<const char16_t*>(wide);
    std::string out(os::wide_length(text) * 4 + 1, '\0');
    const std::size_t written = wide_to_acp(text, &out[0], out.size());
    if (written == static_cast<std::size_t>(-1)) return {};
    out.resize(written);
    return out;
}

// Winsock for the life of one call.
class WinsockSession {
  public:
    WinsockSession() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (started_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

struct AddressListFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

bool network_adapters(std::vector<NetworkAdapter>* adapters) {
    adapters->clear();
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the sizing call and the reading one.
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size, 0);
        status = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status == ERROR_NO_DATA) return true;
    if (status != NO_ERROR) {
        set_last_error(status);
        return false;
    }
    for (auto* entry = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); entry != nullptr;
         entry = entry->Next) {
        NetworkAdapter adapter;
        adapter.name = narrow(entry->FriendlyName);
        adapter.description = narrow(entry->Description);
        adapter.mac = network_mac_text(entry->PhysicalAddress, entry->PhysicalAddressLength);
        adapter.loopback = entry->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        adapter.up = entry->OperStatus == IfOperStatusUp;
        for (auto* unicast = entry->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(address);
            const unsigned char* b = reinterpret_cast<const unsigned char*>(&in->sin_addr);
            char text[16];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
            adapter.ipv4.emplace_back(text);
        }
        adapters->push_back(std::move(adapter));
    }
    return true;
}

bool network_route_source(const char* host, int port, std::string* local_ipv4) {
    if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    WinsockSession session;
    if (!session.started()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    char service[8];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* raw = nullptr;
    if (getaddrinfo(host, service, &hints, &raw) != 0 || raw == nullptr) {
        set_last_error(static_cast<std::uint32_t>(WSAGetLastError()));
        return false;
    }
    const std::unique_ptr<addrinfo, AddressListFree> found(raw);
    const SOCKET sock = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (sock == INVALID_SOCKET) {
        set_last_error(static_cast<std::uint32_t>(WSAGetLastError()));
        return false;
    }
    sockaddr_in local{};
    int length = sizeof local;
    // Connecting a datagram socket only chooses the route; nothing leaves.
    const bool routed = connect(sock, raw->ai_addr, static_cast<int>(raw->ai_addrlen)) == 0 &&
                        getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    const int error = WSAGetLastError();
    closesocket(sock);
    if (!routed) {
        set_last_error(static_cast<std::uint32_t>(error));
        return false;
    }
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&local.sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    *local_ipv4 = text;
    return true;
}

}  // namespace os
