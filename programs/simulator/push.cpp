#include "programs/simulator/push.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "cutil/markup.h"
#include "cutil/xml.h"
#include "os/time.h"
#include "programs/simulator/device_keys.h"
#include "programs/simulator/udp_server.h"
#include "programs/simulator/url_base64.h"
#include "programs/simulator/xml_text.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"

namespace simulator {
namespace {

using communicate::Kind;

// A lost push is sent again under the same id (the agent takes an id once).
constexpr std::uint32_t kResendMs = 3000;
constexpr int kSends = 3;
constexpr std::uint32_t kSliceMs = 200;

struct SocketCloser {
    os::Socket socket;
    ~SocketCloser() { os::socket_close(socket); }
};

bool target(const ServerState& state, const PushRequest& request, os::SocketAddress* to,
            std::string* error) {
    const auto device = state.device(request.device_id);
    if (!device) {
        *error = "unknown device " + utf8(request.device_id);
        return false;
    }
    to->ip = device->address;
    to->port = device->device.listening_port;
    if (!request.address.empty()) {
        const std::string host = request.address.substr(0, request.address.find(':'));
        std::uint16_t port = to->port;
        if (host.size() < request.address.size()) {
            const std::string digits = request.address.substr(host.size() + 1);
            const unsigned long number = std::strtoul(digits.c_str(), nullptr, 10);
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
                number == 0 || number > 65535) {
                *error = "bad port in " + request.address;
                return false;
            }
            port = static_cast<std::uint16_t>(number);
        }
        if (!os::socket_resolve(host.c_str(), port, to)) {
            *error = "cannot resolve " + host;
            return false;
        }
    }
    if (to->ip == 0) *error = "device " + utf8(request.device_id) + " has not spoken to the server";
    return to->ip != 0;
}

// Waits for the answer to push `id` from `agent`; true with its result.
bool gather_answer(const ServerState& state, os::Socket socket, const os::SocketAddress& agent,
                   std::uint32_t id, const std::string& key, std::uint32_t wait_ms, int* result) {
    std::vector<char> buffer(communicate::kMaxDatagramSize + 1);
    std::unique_ptr<communicate::Reassembly> answer;
    const std::uint32_t start = os::tick_count();
    for (;;) {
        const std::uint32_t spent = os::tick_count() - start;
        if (spent >= wait_ms || state.stopping()) return false;
        os::SocketAddress from;
        // In slices, so that a server that is ending is not held up.
        const std::uint32_t slice = std::min<std::uint32_t>(wait_ms - spent, kSliceMs);
        const long size = os::udp_receive_from(socket, buffer.data(), buffer.size(), slice, &from);
        if (size < 0) continue;
        communicate::Fragment fragment;
        if (from != agent ||
            communicate::read_datagram(buffer.data(), static_cast<std::size_t>(size), key,
                                       &fragment) != communicate::Verdict::kAccepted ||
            fragment.header.kind != Kind::kPushAnswer || fragment.header.id != id) {
            continue;
        }
        if (!answer) answer = std::make_unique<communicate::Reassembly>(fragment.header);
        const auto step = answer->add(fragment);
        if (step == communicate::Reassembly::Step::kComplete) {
            const std::string payload = answer->take();
            return communicate::parse_push_answer(payload.data(), payload.size(), result);
        }
        if (step == communicate::Reassembly::Step::kBroken) answer.reset();
    }
}

}  // namespace

const std::vector<PushCommand>& push_commands() {
    static const std::vector<PushCommand> kCommands = {
        {"DoSecurityCheck", {"Msg"}},
        {"ShowUserOneMsg", {"Msg", "DevID"}},
        {"IpRenew", {}},
        {"SwitchUser", {"UserName", "Password"}},
        {"ShutdownNetwork", {"ShutdownType", "Option"}},
        {"OpenNewUrl", {"Url", "Title", "Width", "Height"}},
    };
    return kCommands;
}

std::string push_document(const PushRequest& request, std::string* error) {
    const PushCommand* command = nullptr;
    for (const PushCommand& each : push_commands()) {
        if (same_text(each.name, request.command)) command = &each;
    }
    if (command == nullptr) {
        *error = "unknown command " + utf8(request.command);
        return "";
    }
    std::string text = std::string("<TARN><WhatToDo>") + command->name + "</WhatToDo>";
    for (const char* name : command->fields) {
        const auto given = request.fields.find(name);
        std::string value;
        if (given != request.fields.end()) {
            // The page address travels in the URL-safe Base64 form the agent decodes.
            value = std::string(name) == "Url" ? url_base64_encode(given->second) : given->second;
        } else if (std::string(name) == "ShutdownType") {
            value = "802.1x";
        } else {
            continue;
        }
        text += std::string("<") + name + ">" + cutil_markup_escape(value) + "</" + name + ">";
    }
    return text + "</TARN>";
}

PushOutcome send_push(ServerState& state, Recorder& recorder, const PushRequest& request) {
    PushOutcome outcome;
    Json line = {
        {"kind", "push"}, {"device", utf8(request.device_id)}, {"command", utf8(request.command)}};
    const std::string text = push_document(request, &outcome.error);
    const XmlDocument document(
        text.empty() ? nullptr
                     : cutil_xml_import(text.c_str(), "simulator", "send_push", __LINE__));
    const std::string payload = communicate::text_form(document.get());
    os::SocketAddress agent;
    if (!payload.empty() && target(state, request, &agent, &outcome.error)) {
        outcome.id = state.next_push_id();
        const std::string key = device_key(state.scenario(), request.device_id);
        // Sealed under the device's key when it has one (push_seal.h): a
        // program squatting the agent's port reads none of it.
        const auto datagrams = communicate::make_datagrams(Kind::kPush, outcome.id, payload, key);
        // From the address the server listens on, as its replies come.
        os::SocketAddress local;
        if (!os::socket_resolve(state.scenario().listen_address.c_str(), 0, &local)) local.ip = 0;
        const SocketCloser socket{os::udp_open(local.ip, 0)};
        line["to"] = address_text(agent);
        line["id"] = outcome.id;
        line["request"] = utf8(payload);
        for (int send = 0; send < kSends && !outcome.answered && socket.socket != os::kNoSocket;
             ++send) {
            if (!communicate::send_datagrams(socket.socket, agent, datagrams)) break;
            outcome.sent = true;
            // The last send waits out what is left of the caller's patience: a
            // forced check answers only when its whole cycle is done.
            const std::uint32_t waited = static_cast<std::uint32_t>(send) * kResendMs;
            const std::uint32_t left = request.wait_ms > waited ? request.wait_ms - waited : 0;
            const std::uint32_t wait = send + 1 < kSends && left > kResendMs ? kResendMs : left;
            outcome.answered =
                gather_answer(state, socket.socket, agent, outcome.id, key, wait, &outcome.result);
            if (wait == left) break;
        }
        if (!outcome.sent) outcome.error = "the push could not be sent";
    }
    line["sent"] = outcome.sent;
    line["answered"] = outcome.answered;
    if (outcome.answered) line["result"] = outcome.result;
    if (!outcome.error.empty()) line["error"] = outcome.error;
    recorder.write(line);
    return outcome;
}

}  // namespace simulator
