#include "programs/simulator/udp_server.h"

#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "cutil/xml.h"
#include "os/time.h"
#include "programs/simulator/device_keys.h"
#include "programs/simulator/trades.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"

namespace simulator {
namespace {

using communicate::Fragment;
using communicate::Kind;
using communicate::Reassembly;
using communicate::Verdict;

constexpr std::uint32_t kPollMs = 200;
// A request whose fragments stopped coming is forgotten after this long, and
// no more than this many are gathered at once.
constexpr std::uint32_t kPendingLifeMs = 10000;
constexpr std::size_t kMaxPending = 16;

const char* drop_reason(Verdict verdict) {
    switch (verdict) {
        case Verdict::kUntagged:
            return "untagged";
        case Verdict::kBadTag:
            return "bad_tag";
        default:
            return "malformed";
    }
}

struct Pending {
    std::unique_ptr<Reassembly> reassembly;
    std::uint32_t started;
};

using PendingKey = std::tuple<std::uint32_t, std::uint16_t, std::uint32_t>;

}  // namespace

std::string address_text(const os::SocketAddress& address) {
    return dotted(address.ip) + ":" + std::to_string(address.port);
}

bool UdpServer::start(std::uint32_t ip, std::uint16_t port) {
    socket_ = os::udp_open(ip, port);
    os::SocketAddress bound;
    if (socket_ == os::kNoSocket || !os::socket_local_address(socket_, &bound)) {
        stop();
        return false;
    }
    port_ = bound.port;
    stopping_ = false;
    thread_ = std::thread(&UdpServer::loop, this);
    return true;
}

void UdpServer::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ != os::kNoSocket) os::socket_close(socket_);
    socket_ = os::kNoSocket;
}

void UdpServer::loop() {
    std::vector<char> buffer(communicate::kMaxDatagramSize + 1);
    std::map<PendingKey, Pending> pending;
    while (!stopping_) {
        os::SocketAddress from;
        const long size =
            os::udp_receive_from(socket_, buffer.data(), buffer.size(), kPollMs, &from);
        const std::uint32_t now = os::tick_count();
        for (auto it = pending.begin(); it != pending.end();) {
            it = now - it->second.started > kPendingLifeMs ? pending.erase(it) : std::next(it);
        }
        if (size < 0) continue;
        Fragment fragment;
        std::string key, device;
        const Verdict verdict = read_device_datagram(
            state_, buffer.data(), static_cast<std::size_t>(size), &fragment, &key, &device);
        if (verdict != Verdict::kAccepted) {
            recorder_.write({{"kind", "udp_drop"},
                             {"from", address_text(from)},
                             {"reason", drop_reason(verdict)}});
            continue;
        }
        if (fragment.header.kind != Kind::kRequest) continue;
        const PendingKey id{from.ip, from.port, fragment.header.id};
        auto found = pending.find(id);
        if (found == pending.end()) {
            if (pending.size() >= kMaxPending) continue;
            found = pending.emplace(id, Pending{std::make_unique<Reassembly>(fragment.header), now})
                        .first;
        }
        const Reassembly::Step step = found->second.reassembly->add(fragment);
        if (step == Reassembly::Step::kComplete) {
            const std::string payload = found->second.reassembly->take();
            pending.erase(found);
            answer(payload, fragment.header.id, from, key, device);
        } else if (step == Reassembly::Step::kBroken) {
            pending.erase(found);
        }
    }
}

void UdpServer::answer(const std::string& payload, std::uint32_t id, const os::SocketAddress& from,
                       const std::string& key, const std::string& device) {
    Json line = {
        {"kind", "udp"}, {"from", address_text(from)}, {"id", id}, {"request", utf8(payload)}};
    const XmlDocument request =
        communicate::parse_document(payload.data(), payload.size(), "UdpServer", __LINE__);
    if (!request) {
        line["error"] = "unparsable request";
        recorder_.write(line);
        return;
    }
    // A device speaks for itself only: its key names it, whatever AgentID says.
    const char* agent = cutil_xml_get(request.get(), "TARN/AgentID");
    if (!device.empty() && agent != nullptr && agent[0] != '\0' && std::string(agent) != "0" &&
        device != agent) {
        line["error"] = "AgentID " + utf8(agent) + " under the key of device " + utf8(device);
        recorder_.write(line);
        return;
    }
    TradeAnswer answer = answer_trade(state_, request.get(), from.ip);
    line["trade"] = utf8(answer.trade_code);
    line["device"] = utf8(answer.device_id);
    line.update(answer.note);
    // The reply goes out in the text form the agent's own writer gives.
    const XmlDocument reply(
        cutil_xml_import(answer.reply.c_str(), "simulator", "UdpServer", __LINE__));
    const std::string text = communicate::text_form(reply.get());
    if (text.empty()) {
        line["error"] = "reply not built";
        recorder_.write(line);
        return;
    }
    const auto datagrams = communicate::make_datagrams(Kind::kReply, id, text, key);
    line["reply"] = utf8(text);
    line["sent"] = !datagrams.empty() && communicate::send_datagrams(socket_, from, datagrams);
    recorder_.write(line);
}

}  // namespace simulator
