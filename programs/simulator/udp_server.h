// The server's UDP port: gathers each request's fragments, answers it with
// the trade's reply under the same message id, and records the exchange.
// Datagrams that verify under no device's key are dropped and recorded as drops.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "os/socket.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/server_state.h"

namespace simulator {

class UdpServer {
  public:
    UdpServer(ServerState& state, Recorder& recorder) : state_(state), recorder_(recorder) {}
    ~UdpServer() { stop(); }
    UdpServer(const UdpServer&) = delete;
    UdpServer& operator=(const UdpServer&) = delete;

    // Binds `ip`:`port` (0: an ephemeral port) and starts answering.
    bool start(std::uint32_t ip, std::uint16_t port);
    void stop();
    std::uint16_t port() const { return port_; }

  private:
    void loop();
    // The reply goes out tagged under `key`, the key the request verified
    // under; `device` is that key's device (empty under a shared key).
    void answer(const std::string& payload, std::uint32_t id, const os::SocketAddress& from,
                const std::string& key, const std::string& device);

    ServerState& state_;
    Recorder& recorder_;
    os::Socket socket_ = os::kNoSocket;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

std::string address_text(const os::SocketAddress& address);

}  // namespace simulator
