// Sockets on POSIX: BSD sockets, every wait a poll() with a time-out.
#include "os/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

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

int fd_of(Socket socket) {
    return static_cast<int>(socket);
}

bool fail_from_errno() {
    posix::set_last_error_from_errno(errno);
    return false;
}

// Waits until `fd` is ready for `events`; false on time-out (with the
// Winsock time-out code) or failure.
bool wait_ready(int fd, short events, std::uint32_t timeout_ms) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready =
            poll(&entry, 1, timeout_ms > 0x7fffffff ? -1 : static_cast<int>(timeout_ms));
        if (ready > 0) return true;
        if (ready == 0) {
            set_last_error(kErrorSocketTimedOut);
            return false;
        }
        if (errno != EINTR) return fail_from_errno();
    }
}

// Milliseconds of a clock that never steps, for the whole-call bounds.
std::uint64_t monotonic_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

// What is left of `timeout_ms` since `start` (0 once it ran out).
std::uint32_t left_of(std::uint64_t start, std::uint32_t timeout_ms) {
    const std::uint64_t spent = monotonic_ms() - start;
    return spent >= timeout_ms ? 0 : static_cast<std::uint32_t>(timeout_ms - spent);
}

Socket open_bound(int type, std::uint32_t ip, std::uint16_t port, bool reuse) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail_from_errno();
        return kNoSocket;
    }
    const int on = 1;
    if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in native = to_native({ip, port});
    if (bind(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0) {
        const int error = errno;
        ::close(fd);
        posix::set_last_error_from_errno(error);
        return kNoSocket;
    }
    return fd;
}

}  // namespace

bool socket_resolve(const char* host, std::uint16_t port, SocketAddress* address) {
    if (host == nullptr || address == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
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

Socket udp_open(std::uint32_t ip, std::uint16_t port) {
    const Socket socket = open_bound(SOCK_DGRAM, ip, port, false);
    if (socket != kNoSocket) {
        const int size = kUdpBufferSize;
        setsockopt(fd_of(socket), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        setsockopt(fd_of(socket), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    return socket;
}

Socket udp_open_exclusive(std::uint32_t ip, std::uint16_t port) {
    // Without SO_REUSEADDR and SO_REUSEPORT Linux refuses every later bind of
    // the port; a reuse group would be open to sockets of the same user only.
    return udp_open(ip, port);
}

bool udp_send_to(Socket socket, const SocketAddress& to, const void* data, std::size_t size) {
    const sockaddr_in native = to_native(to);
    const ssize_t sent = sendto(fd_of(socket), data, size, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&native), sizeof native);
    if (sent < 0) return fail_from_errno();
    return static_cast<std::size_t>(sent) == size;
}

long udp_receive_from(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms,
                      SocketAddress* from) {
    if (!wait_ready(fd_of(socket), POLLIN, timeout_ms)) return -1;
    sockaddr_in native{};
    socklen_t length = sizeof native;
    const ssize_t received =
        recvfrom(fd_of(socket), buffer, size, 0, reinterpret_cast<sockaddr*>(&native), &length);
    if (received < 0) {
        fail_from_errno();
        return -1;
    }
    if (from != nullptr) *from = from_native(native);
    return static_cast<long>(received);
}

Socket tcp_listen_loopback(std::uint16_t port) {
    // SO_REUSEADDR lets a restarted listener bind past TIME_WAIT; Linux
    // still refuses a second listener on the same address.
    const Socket listener = open_bound(SOCK_STREAM, kLoopbackIp, port, true);
    if (listener == kNoSocket) return kNoSocket;
    if (listen(fd_of(listener), 16) != 0) {
        fail_from_errno();
        ::close(fd_of(listener));
        return kNoSocket;
    }
    return listener;
}

Socket tcp_accept(Socket listener, std::uint32_t timeout_ms, SocketAddress* peer) {
    if (!wait_ready(fd_of(listener), POLLIN, timeout_ms)) return kNoSocket;
    sockaddr_in native{};
    socklen_t length = sizeof native;
    const int fd =
        accept4(fd_of(listener), reinterpret_cast<sockaddr*>(&native), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        fail_from_errno();
        return kNoSocket;
    }
    if (peer != nullptr) *peer = from_native(native);
    return fd;
}

Socket tcp_connect(const SocketAddress& to, std::uint32_t timeout_ms) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        fail_from_errno();
        return kNoSocket;
    }
    const sockaddr_in native = to_native(to);
    bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
    if (!connected && errno == EINPROGRESS && wait_ready(fd, POLLOUT, timeout_ms)) {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        connected = error == 0;
        if (!connected) posix::set_last_error_from_errno(error);
    } else if (!connected && errno != EINPROGRESS) {
        fail_from_errno();
    }
    if (!connected || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    return fd;
}

bool tcp_send_all(Socket socket, const void* data, std::size_t size, std::uint32_t timeout_ms) {
    const auto* bytes = static_cast<const char*>(data);
    const std::uint64_t start = monotonic_ms();
    while (size > 0) {
        if (!wait_ready(fd_of(socket), POLLOUT, left_of(start, timeout_ms))) return false;
        const ssize_t sent = send(fd_of(socket), bytes, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return fail_from_errno();
        }
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool tcp_receive_all(Socket socket, void* buffer, std::size_t size, std::uint32_t timeout_ms) {
    auto* bytes = static_cast<char*>(buffer);
    const std::uint64_t start = monotonic_ms();
    while (size > 0) {
        if (!wait_ready(fd_of(socket), POLLIN, left_of(start, timeout_ms))) return false;
        const ssize_t received = recv(fd_of(socket), bytes, size, 0);
        if (received == 0) {
            set_last_error(kErrorSocketConnectionReset);
            return false;
        }
        if (received < 0) {
            if (errno == EINTR) continue;
            return fail_from_errno();
        }
        bytes += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

bool socket_local_address(Socket socket, SocketAddress* address) {
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (address == nullptr ||
        getsockname(fd_of(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) {
        return fail_from_errno();
    }
    *address = from_native(native);
    return true;
}

void socket_close(Socket socket) {
    if (socket != kNoSocket) ::close(fd_of(socket));
}

void socket_shutdown(Socket socket) {
    if (socket != kNoSocket) ::shutdown(fd_of(socket), SHUT_RDWR);
}

struct SocketSignalObject {
    int fd;
};

SocketSignal socket_signal_create() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        fail_from_errno();
        return nullptr;
    }
    return new SocketSignalObject{fd};
}

void socket_signal_raise(SocketSignal signal) {
    if (signal == nullptr) return;
    const std::uint64_t one = 1;
    // Never read back: the descriptor stays readable, the signal raised.
    if (write(signal->fd, &one, sizeof one) < 0) fail_from_errno();
}

void socket_signal_close(SocketSignal signal) {
    if (signal == nullptr) return;
    ::close(signal->fd);
    delete signal;
}

int socket_wait(const Socket* sockets, int count, SocketSignal signal, std::uint32_t timeout_ms) {
    std::vector<pollfd> entries;
    for (int i = 0; i < count; ++i) entries.push_back({fd_of(sockets[i]), POLLIN, 0});
    if (signal != nullptr) entries.push_back({signal->fd, POLLIN, 0});
    const std::uint64_t start = monotonic_ms();
    for (;;) {
        const std::uint32_t left =
            timeout_ms == kSocketWaitForever ? timeout_ms : left_of(start, timeout_ms);
        const int ready =
            poll(entries.data(), entries.size(), left > 0x7fffffff ? -1 : static_cast<int>(left));
        if (ready == 0) {
            set_last_error(kErrorSocketTimedOut);
            return kSocketWaitTimeout;
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            fail_from_errno();
            return kSocketWaitFailed;
        }
        if (signal != nullptr && entries.back().revents != 0) return kSocketWaitSignal;
        for (int i = 0; i < count; ++i) {
            if (entries[static_cast<std::size_t>(i)].revents != 0) return i;
        }
    }
}

}  // namespace os
