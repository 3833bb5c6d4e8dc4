// A scripted peer on 127.0.0.1 that speaks the datagram framing: as a
// server it answers each request with what the test's responder returns; as
// a pusher it sends datagrams and gathers the answers. Every wait is bounded.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/socket.h"
#include "siblings/QuarnAssCommunicate/datagram.h"

namespace quarn::test {

struct PeerRequest {
    std::uint32_t id;
    std::string payload;
};

class ScriptedPeer {
  public:
    // The datagrams to send back for request number `number` (from 0).
    using Responder = std::function<std::vector<std::string>(int number, const PeerRequest&)>;

    explicit ScriptedPeer(std::uint16_t port = 0, std::string key = {}) : key_(std::move(key)) {
        socket_ = os::udp_open(os::kLoopbackIp, port);
        os::SocketAddress bound;
        if (socket_ != os::kNoSocket && os::socket_local_address(socket_, &bound)) {
            port_ = bound.port;
        }
    }
    ~ScriptedPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        os::socket_close(socket_);
    }
    std::uint16_t port() const { return port_; }

    void serve(Responder responder) {
        thread_ = std::thread([this, responder] {
            int number = 0;
            while (!stop_) {
                PeerRequest request;
                os::SocketAddress from;
                if (!receive(communicate::Kind::kRequest, 100, &request, &from)) continue;
                {
                    std::lock_guard<std::mutex> guard(lock_);
                    requests_.push_back(request);
                }
                for (const std::string& datagram : responder(number++, request)) {
                    os::udp_send_to(socket_, from, datagram.data(), datagram.size());
                }
            }
        });
    }
    std::vector<PeerRequest> requests() const {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_;
    }

    void send(std::uint16_t port, const std::vector<std::string>& datagrams) const {
        for (const std::string& datagram : datagrams) {
            os::udp_send_to(socket_, {os::kLoopbackIp, port}, datagram.data(), datagram.size());
        }
    }
    // One whole message of `kind` within `wait_ms`; other datagrams are skipped.
    bool receive(communicate::Kind kind, std::uint32_t wait_ms, PeerRequest* message,
                 os::SocketAddress* from = nullptr) {
        std::vector<char> buffer(communicate::kMaxDatagramSize + 1);
        std::unique_ptr<communicate::Reassembly> gathered;
        for (std::uint32_t waited = 0; waited < wait_ms; waited += 50) {
            os::SocketAddress sender;
            const long size =
                os::udp_receive_from(socket_, buffer.data(), buffer.size(), 50, &sender);
            communicate::Fragment fragment;
            if (size < 0 ||
                communicate::read_datagram(buffer.data(), static_cast<std::size_t>(size), key_,
                                           &fragment) != communicate::Verdict::kAccepted ||
                fragment.header.kind != kind) {
                continue;
            }
            if (!gathered || gathered->header().id != fragment.header.id) {
                gathered = std::make_unique<communicate::Reassembly>(fragment.header);
            }
            if (gathered->add(fragment) == communicate::Reassembly::Step::kComplete) {
                *message = {fragment.header.id, gathered->take()};
                if (from != nullptr) *from = sender;
                return true;
            }
            waited = 0;  // fragments keep coming: the wait is for silence
        }
        return false;
    }

  private:
    std::string key_;
    os::Socket socket_ = os::kNoSocket;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<PeerRequest> requests_;
};

}  // namespace quarn::test
