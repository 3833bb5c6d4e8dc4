// Sockets on Windows: Winsock 2, every wait a select() with a time-out.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include "os/socket.h"

#include <cstring>

#include "os/error.h"

// Not declared by every SDK: stops a UDP socket reporting WSAECONNRESET
// after one of its datagrams met a closed port.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace os {
namespace {

// Winsock is started once per process, by the first socket call, and left
// running until the process ends (WSACleanup at unload would pull it from
// other modules of the process that use it too).
bool winsock_started() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) set_last_error(WSANOTINITIALISED);
    return started;
}

SOCKET native_of(Socket socket) {
    return static_cast<SOCKET>(socket);
}

sockaddr_in to_native(const SocketAddress& address) {
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_addr.s_addr = htonl(address.ip);
    native.sin_port = htons(address.port);
    return native;
}

SocketAddress from_native(const sockaddr_in& native) {
    return {ntohl(native.sin_addr.s_addr), ntohs(native.sin_port)};
}

bool fail_from_winsock() {
    set_last_error(static_cast<std::uint32_t>(WSAGetLastError()));
    return false;
}

// Waits until the socket is readable (or writable); false on time-out (with
// WSAETIMEDOUT) or failure.
bool wait_ready(SOCKET socket, bool write, std::uint32_t timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    fd_set errors;
    FD_ZERO(&errors);
    FD_SET(socket, &errors);
    timeval limit{static_cast<long>(timeout_ms / 1000),
                  static_cast<long>(timeout_ms % 1000) * 1000};
    // A failed connect shows in the error set.
    const int ready = select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &limit);
    if (ready == 0) {
        set_last_error(kErrorSocketTimedOut);
        return false;
    }
    if (ready < 0) return fail_from_winsock();
    if (FD_ISSET(socket, &errors)) {
        int error = 0;
        int length = sizeof error;
        getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        set_last_error(error != 0 ? static_cast<std::uint32_t>(error)
                                  : kErrorSocketConnectionReset);
        return false;
    }
    return true;
}

// What is left of `timeout_ms` since `start` (0 once it ran out).
std::uint32_t left_of(ULONGLONG start, std::uint32_t timeout_ms) {
    const ULONGLONG spent = GetTickCount64() - start;
    return spent >= timeout_ms ? 0 : static_cast<std::uint32_t>(timeout_ms - spent);
}

Socket open_bound(int type, std::uint32_t ip, std::uint16_t port, bool exclusive) {
    if (!winsock_started()) return kNoSocket;
    const SOCKET socket = WSASocketW(AF_INET, type, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        fail_from_winsock();
        return kNoSocket;
    }
    if (exclusive) {
        const BOOL on = TRUE;
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                   sizeof on);
    }
    const sockaddr_in native = to_native({ip, port});
    if (bind(socket, reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0) {
        const int error = WSAGetLastError();
        closesocket(socket);
        set_last_error(static_cast<std::uint32_t>(error));
        return kNoSocket;
    }
    return static_cast<Socket>(socket);
}

}  // namespace

bool socket_resolve(const char* host, std::uint16_t port, SocketAddress* address) {
    if (host == nullptr || address == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    if (!winsock_started()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        set_last_error(kErrorSocketHostNotFound);
        return false;
    }
    sockaddr_in native{};
    std::memcpy(&native, found->ai_addr, sizeof native);
    freeaddrinfo(found);
    *address = {ntohl(native.sin_addr.s_addr), port};
    return true;
}

static Socket udp_open_bound(std::uint32_t ip, std::uint16_t port, bool exclusive) {
    const Socket socket = open_bound(SOCK_DGRAM, ip, port, exclusive);
    if (socket == kNoSocket) return kNoSocket;
    const int size = kUdpBufferSize;
    setsockopt(native_of(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
               sizeof size);
    setsockopt(native_of(socket), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size),
               sizeof size);
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(native_of(socket), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned,
             nullptr, nullptr);
    return socket;
}

Socket udp_open(std::uint32_t ip, std::uint16_t port) {
    return udp_open_bound(ip, port, false);
}

Socket udp_open_exclusive(std::uint32_t ip, std::uint16_t port) {
    // No other socket, of any user, may bind the port beside this one.
    return udp_open_bound(ip, port, true);
}

bool udp_send_to(Socket socket, const SocketAddress& to, const void* data, std::size_t size) {
    const sockaddr_in native = to_native(to);
    const int sent =
        sendto(native_of(socket), static_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<const sockaddr*>(&native), sizeof native);
    if (sent == SOCKET_ERROR) return fail_from_winsock();
    return static_cast<std::size_t>(sent) == size;
}

long udp_receive_from(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms,
                      SocketAddress* from) {
    if (!wait_ready(native_of(socket), false, timeout_ms)) return -1;
    sockaddr_in native{};
    int length = sizeof native;
    const int received =
        recvfrom(native_of(socket), static_cast<char*>(buffer), static_cast<int>(size), 0,
                 reinterpret_cast<sockaddr*>(&native), &length);
    if (received == SOCKET_ERROR) {
        // A datagram larger than the buffer arrives cut, as on POSIX.
        if (WSAGetLastError() != WSAEMSGSIZE) {
            fail_from_winsock();
            return -1;
        }
        if (from != nullptr) *from = from_native(native);
        return static_cast<long>(size);
    }
    if (from != nullptr) *from = from_native(native);
    return received;
}

Socket tcp_listen_loopback(std::uint16_t port) {
    // Exclusive: no other process may bind the same port beside ours.
    const Socket listener = open_bound(SOCK_STREAM, kLoopbackIp, port, true);
    if (listener == kNoSocket) return kNoSocket;
    if (listen(native_of(listener), 16) != 0) {
        fail_from_winsock();
        closesocket(native_of(listener));
        return kNoSocket;
    }
    return listener;
}

Socket tcp_accept(Socket listener, std::uint32_t timeout_ms, SocketAddress* peer) {
    if (!wait_ready(native_of(listener), false, timeout_ms)) return kNoSocket;
    sockaddr_in native{};
    int length = sizeof native;
    const SOCKET accepted =
        accept(native_of(listener), reinterpret_cast<sockaddr*>(&native), &length);
    if (accepted == INVALID_SOCKET) {
        fail_from_winsock();
        return kNoSocket;
    }
    if (peer != nullptr) *peer = from_native(native);
    return static_cast<Socket>(accepted);
}

Socket tcp_connect(const SocketAddress& to, std::uint32_t timeout_ms) {
    if (!winsock_started()) return kNoSocket;
    const SOCKET socket =
        WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        fail_from_winsock();
        return kNoSocket;
    }
    u_long non_blocking = 1;
    ioctlsocket(socket, FIONBIO, &non_blocking);
    const sockaddr_in native = to_native(to);
    bool connected =
        connect(socket, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        connected = wait_ready(socket, true, timeout_ms);
    } else if (!connected) {
        fail_from_winsock();
    }
    non_blocking = 0;
    if (!connected || ioctlsocket(socket, FIONBIO, &non_blocking) != 0) {
        closesocket(socket);
        return kNoSocket;
    }
    return static_cast<Socket>(socket);
}

bool tcp_send_all(Socket socket, const void* data, std::size_t size, std::uint32_t timeout_ms) {
    const auto* bytes = static_cast<const char*>(data);
    const ULONGLONG start = GetTickCount64();
    while (size > 0) {
        if (!wait_ready(native_of(socket), true, left_of(start, timeout_ms))) return false;
        const int chunk = size > 0x100000 ? 0x100000 : static_cast<int>(size);
        const int sent = send(native_of(socket), bytes, chunk, 0);
        if (sent == SOCKET_ERROR) return fail_from_winsock();
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool tcp_receive_all(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms) {
    auto* bytes = static_cast<char*>(buffer);
    const ULONGLONG start = GetTickCount64();
    while (size > 0) {
        if (!wait_ready(native_of(socket), false, left_of(start, timeout_ms))) return false;
        const int chunk = size > 0x100000 ? 0x100000 : static_cast<int>(size);
        const int received = recv(native_of(socket), bytes, chunk, 0);
        if (received == 0) {
            set_last_error(kErrorSocketConnectionReset);
            return false;
        }
        if (received == SOCKET_ERROR) return fail_from_winsock();
        bytes += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

bool socket_local_address(Socket socket, SocketAddress* address) {
    sockaddr_in native{};
    int length = sizeof native;
    if (address == nullptr ||
        getsockname(native_of(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) {
        return fail_from_winsock();
    }
    *address = from_native(native);
    return true;
}

void socket_close(Socket socket) {
    if (socket != kNoSocket) closesocket(native_of(socket));
}

void socket_shutdown(Socket socket) {
    if (socket != kNoSocket) shutdown(native_of(socket), SD_BOTH);
}

// select() waits on sockets only: the signal is a datagram that the raising
// side sends to a receiver connected to it alone, and that is never read.
struct SocketSignalObject {
    SOCKET receiver;
    SOCKET sender;
};

SocketSignal socket_signal_create() {
    const Socket receiver = udp_open(kLoopbackIp, 0);
    const Socket sender = udp_open(kLoopbackIp, 0);
    SocketAddress receiver_address;
    SocketAddress sender_address;
    if (receiver == kNoSocket || sender == kNoSocket ||
        !socket_local_address(receiver, &receiver_address) ||
        !socket_local_address(sender, &sender_address)) {
        socket_close(receiver);
        socket_close(sender);
        return nullptr;
    }
    const sockaddr_in to = to_native(receiver_address);
    const sockaddr_in from = to_native(sender_address);
    if (connect(native_of(sender), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 ||
        connect(native_of(receiver), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
        fail_from_winsock();
        socket_close(receiver);
        socket_close(sender);
        return nullptr;
    }
    return new SocketSignalObject{native_of(receiver), native_of(sender)};
}

void socket_signal_raise(SocketSignal signal) {
    if (signal == nullptr) return;
    const char byte = 1;
    if (send(signal->sender, &byte, 1, 0) == SOCKET_ERROR) fail_from_winsock();
}

void socket_signal_close(SocketSignal signal) {
    if (signal == nullptr) return;
    closesocket(signal->receiver);
    closesocket(signal->sender);
    delete signal;
}

int socket_wait(const Socket* sockets, int count, SocketSignal signal, std::uint32_t timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    for (int i = 0; i < count && i < FD_SETSIZE - 1; ++i) FD_SET(native_of(sockets[i]), &set);
    if (signal != nullptr) FD_SET(signal->receiver, &set);
    timeval limit{static_cast<long>(timeout_ms / 1000),
                  static_cast<long>(timeout_ms % 1000) * 1000};
    const int ready =
        select(0, &set, nullptr, nullptr, timeout_ms == kSocketWaitForever ? nullptr : &limit);
    if (ready == 0) {
        set_last_error(kErrorSocketTimedOut);
        return kSocketWaitTimeout;
    }
    if (ready < 0) {
        fail_from_winsock();
        return kSocketWaitFailed;
    }
    if (signal != nullptr && FD_ISSET(signal->receiver, &set)) return kSocketWaitSignal;
    for (int i = 0; i < count; ++i) {
        if (FD_ISSET(native_of(sockets[i]), &set)) return i;
    }
    return kSocketWaitFailed;
}

}  // namespace os
