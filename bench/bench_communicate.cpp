// A request/reply round trip on loopback through the communication module
// (document written, fragmented, sent, reply gathered and parsed) against a
// bare socket round trip of the same datagram bytes. Sizes: a typical
// request of a few hundred bytes, and one of 200 KB (four fragments).
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cutil/xml.h"
#include "os/socket.h"
#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"

namespace {

using namespace communicate;

// A loopback server on its own thread: echoes every datagram as it came
// (bare), or answers every whole request with its payload as the reply.
class Server {
  public:
    explicit Server(bool framed) : framed_(framed) {
        socket_ = os::udp_open(os::kLoopbackIp, 0);
        os::SocketAddress bound;
        os::socket_local_address(socket_, &bound);
        port_ = bound.port;
        thread_ = std::thread([this] { run(); });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        os::socket_close(socket_);
    }
    std::uint16_t port() const { return port_; }

  private:
    void run() {
        std::vector<char> buffer(kMaxDatagramSize + 1);
        std::unique_ptr<Reassembly> request;
        while (!stop_) {
            os::SocketAddress from;
            const long size =
                os::udp_receive_from(socket_, buffer.data(), buffer.size(), 100, &from);
            if (size < 0) continue;
            if (!framed_) {
                os::udp_send_to(socket_, from, buffer.data(), static_cast<std::size_t>(size));
                continue;
            }
            Fragment fragment;
            if (read_datagram(buffer.data(), static_cast<std::size_t>(size), "", &fragment) !=
                Verdict::kAccepted) {
                continue;
            }
            if (!request || request->header().id != fragment.header.id) {
                request = std::make_unique<Reassembly>(fragment.header);
            }
            if (request->add(fragment) != Reassembly::Step::kComplete) continue;
            for (const std::string& d :
                 make_datagrams(Kind::kReply, fragment.header.id, request->take(), "")) {
                os::udp_send_to(socket_, from, d.data(), d.size());
            }
            request.reset();
        }
    }

    bool framed_;
    os::Socket socket_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

XmlDocument request_of(std::int64_t data_bytes) {
    const std::string text = "<TARN><TradeCode>HeartTest</TradeCode><AgentID>17</AgentID><Data>" +
                             std::string(static_cast<std::size_t>(data_bytes), 'x') +
                             "</Data></TARN>";
    return XmlDocument(cutil_xml_import(text.c_str(), "bench", "bench", 0));
}

void ThroughTheModule(benchmark::State& state) {
    const Server server(true);
    const Communicator communicator;
    const XmlDocument request = request_of(state.range(0));
    for (auto _ : state) {
        XmlNode* reply = nullptr;
        if (communicator.udp_exchange("127.0.0.1", server.port(), request.get(), &reply) != 1) {
            state.SkipWithError("no reply");
            break;
        }
        cutil_xml_free(reply);
    }
}

void BareSocket(benchmark::State& state) {
    const Server server(false);
    const XmlDocument request = request_of(state.range(0));
    const std::vector<std::string> datagrams =
        make_datagrams(Kind::kRequest, 1, text_form(request.get()), "");
    const os::Socket socket = os::udp_open(0, 0);
    std::vector<char> buffer(kMaxDatagramSize + 1);
    for (auto _ : state) {
        for (const std::string& d : datagrams) {
            os::udp_send_to(socket, {os::kLoopbackIp, server.port()}, d.data(), d.size());
        }
        for (std::size_t i = 0; i < datagrams.size(); ++i) {
            if (os::udp_receive_from(socket, buffer.data(), buffer.size(), 3000, nullptr) < 0) {
                state.SkipWithError("no echo");
                break;
            }
        }
    }
    os::socket_close(socket);
}

BENCHMARK(ThroughTheModule)->Arg(200)->Arg(200000)->UseRealTime();
BENCHMARK(BareSocket)->Arg(200)->Arg(200000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
