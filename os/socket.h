// UDP and TCP sockets, IPv4, as the communication module needs them: a
// request/reply exchange with the server, a receive loop for its pushes and
// a listener for the assistant's peers on 127.0.0.1. Every wait is bounded
// or ends on a stop signal: a loop that must stay idle blocks in socket_wait
// on its sockets and its signal, and another thread raises the signal
// instead of closing a socket under it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/types.h"

namespace os {

// A socket of this layer; kNoSocket is none. Close with socket_close.
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// The Winsock codes the POSIX backend maps errno onto (last_error()).
enum : std::uint32_t {
    kErrorSocketWouldBlock = 10035,
    kErrorSocketMessageSize = 10040,
    kErrorSocketAddressInUse = 10048,
    kErrorSocketNetworkUnreachable = 10051,
    kErrorSocketConnectionReset = 10054,
    kErrorSocketNotConnected = 10057,
    kErrorSocketTimedOut = 10060,
    kErrorSocketConnectionRefused = 10061,
    kErrorSocketHostUnreachable = 10065,
    kErrorSocketHostNotFound = 11001,
};

// An IPv4 address and port, both in host byte order.
struct SocketAddress {
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
    bool operator==(const SocketAddress& other) const {
        return ip == other.ip && port == other.port;
    }
    bool operator!=(const SocketAddress& other) const { return !(*this == other); }
};

inline constexpr std::uint32_t kLoopbackIp = 0x7f000001;  // 127.0.0.1

// The first IPv4 address of `host` (a dotted address or a name).
bool socket_resolve(const char* host, std::uint16_t port, SocketAddress* address);

// A UDP socket bound to `ip`:`port` (0 for any address / an ephemeral port),
// its buffers asked for kUdpBufferSize bytes (the system may grant less),
// so that a burst of fragments of one message fits.
inline constexpr int kUdpBufferSize = 2 * 1024 * 1024;
Socket udp_open(std::uint32_t ip, std::uint16_t port);
// The same for a port that no other socket may share while this one holds
// it: SO_EXCLUSIVEADDRUSE on Windows; on POSIX no reuse option, which Linux
// then refuses to any later bind of the port, a more specific address
// included (kErrorSocketAddressInUse when one holds it already).
Socket udp_open_exclusive(std::uint32_t ip, std::uint16_t port);
// Sends one datagram whole; false on failure.
bool udp_send_to(Socket socket, const SocketAddress& to, const void* data, std::size_t size);
// Waits up to `timeout_ms` for one datagram: its size (cut to `size`), or -1
// with last_error() kErrorSocketTimedOut when none came, another code on
// failure. A datagram larger than `size` is cut and reported with its cut size.
long udp_receive_from(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms,
                      SocketAddress* from);

// A TCP listener on 127.0.0.1:`port` that no other socket may share
// (kErrorSocketAddressInUse when one holds it).
Socket tcp_listen_loopback(std::uint16_t port);
// Waits up to `timeout_ms` for a connection; kNoSocket on time-out or failure.
Socket tcp_accept(Socket listener, std::uint32_t timeout_ms, SocketAddress* peer);
// Connects within `timeout_ms`; kNoSocket on failure.
Socket tcp_connect(const SocketAddress& to, std::uint32_t timeout_ms);
// Sends all `size` bytes within `timeout_ms` for the whole call.
bool tcp_send_all(Socket socket, const void* data, std::size_t size, std::uint32_t timeout_ms);
// Receives exactly `size` bytes within `timeout_ms` for the whole call (a
// peer trickling bytes does not stretch it); false on time-out, failure or
// when the peer closed first.
bool tcp_receive_all(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms);

// A stop signal that socket_wait blocks on beside its sockets: an eventfd on
// POSIX, a connected pair of loopback UDP sockets on Windows (select waits
// on sockets only). Once raised it stays raised until closed.
struct SocketSignalObject;
using SocketSignal = SocketSignalObject*;
SocketSignal socket_signal_create();
void socket_signal_raise(SocketSignal signal);
void socket_signal_close(SocketSignal signal);

inline constexpr int kSocketWaitTimeout = -1;  // last_error() kErrorSocketTimedOut
inline constexpr int kSocketWaitSignal = -2;   // the signal is raised
inline constexpr int kSocketWaitFailed = -3;
inline constexpr std::uint32_t kSocketWaitForever = 0xFFFFFFFFu;
// Blocks until one of `sockets` is readable (a listener: a connection is
// waiting), `signal` (may be null) is raised or `timeout_ms` ran out
// (kSocketWaitForever: never). The lowest index of a readable socket, or
// one of the codes above; a raised signal wins over readable sockets.
int socket_wait(const Socket* sockets, int count, SocketSignal signal, std::uint32_t timeout_ms);

// The address a socket is bound to.
bool socket_local_address(Socket socket, SocketAddress* address);
void socket_close(Socket socket);
// Ends both directions of a connection without closing the socket: a wait
// of another thread on it returns, and its owner still closes it.
void socket_shutdown(Socket socket);
// Whether the peer of an accepted loopback connection is a socket of the
// calling user. POSIX: the peer's entry in the system's table of IPv4
// connections names its owner (false when it is gone or another user's;
// true when there is no table to read).
// Windows: always true (the table names a process, not an account).
bool socket_peer_is_own_user(Socket connection);

}  // namespace os
