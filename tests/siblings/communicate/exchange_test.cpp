// The UDP request/reply exchange with a scripted server on loopback: large
// fragmented documents both ways, lost replies, and noise around a reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/communicate/fixture.h"
#include "siblings/communicate/scripted_peer.h"

namespace {

using namespace quarn::test;
using communicate::Kind;
using communicate::make_datagrams;

enum class Server { kEcho, kLoseTwice, kSilent, kNoisy };

// The reply to `request`: its own payload back, as a reply.
std::vector<std::string> echo(const PeerRequest& request, const std::string& key = "") {
    return make_datagrams(Kind::kReply, request.id, request.payload, key);
}

std::vector<std::string> respond(Server server, int number, const PeerRequest& request) {
    switch (server) {
        case Server::kEcho:
            return echo(request);
        case Server::kLoseTwice:
            return number < 2 ? std::vector<std::string>{} : echo(request);
        case Server::kSilent:
            return {};
        case Server::kNoisy:
            break;
    }
    // Fragments reversed and one repeated, behind datagrams the client must ignore.
    std::vector<std::string> reply = echo(request);
    std::reverse(reply.begin(), reply.end());
    reply.push_back(reply.front());
    std::vector<std::string> noisy = {
        "TARX" + reply[0].substr(4),
        reply[0].substr(0, 4) + '\2' + reply[0].substr(5),
        make_datagrams(Kind::kPushAnswer, request.id, "<TARN/>", "")[0],
        make_datagrams(Kind::kReply, request.id + 1, "<TARN/>", "")[0],
    };
    noisy.insert(noisy.end(), reply.begin(), reply.end());
    return noisy;
}

struct ExchangeCase {
    const char* name;
    std::size_t request_size;  // the request's text form, in bytes
    Server server;
    int result;
    std::size_t requests_seen;  // sends the server received
};

const ExchangeCase kCases[] = {
    {"SmallRequestAndReply", 200, Server::kEcho, 1, 1},
    {"FragmentedUpToTheCapBothWays", communicate::kMaxPayload, Server::kEcho, 1, 1},
    {"OneByteOverTheCapRefused", communicate::kMaxPayload + 1, Server::kEcho, 0, 0},
    {"ReplyLostTwiceThenAnswered", 300, Server::kLoseTwice, 1, 3},
    {"NoReplyAfterThreeSends", 300, Server::kSilent, 0, 3},
    {"NoiseAroundAReplyOutOfOrder", 150000, Server::kNoisy, 1, 1},
};

class UdpExchange : public CommunicateTest, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(UdpExchange, SendsAndGathersTheReply) {
    const ExchangeCase& c = GetParam();
    ScriptedPeer server;
    ASSERT_NE(0, server.port());
    server.serve([&c](int number, const PeerRequest& request) {
        return respond(c.server, number, request);
    });
    communicate::CommunicatorOptions options;
    options.times.reply_wait_ms = 1000;
    const communicate::Communicator communicator(options);
    const XmlDocument request = document_of_size(c.request_size);
    ASSERT_EQ(c.request_size, communicate::text_form(request.get()).size());

    XmlNode* reply = nullptr;
    EXPECT_EQ(c.result,
              communicator.udp_exchange("127.0.0.1", server.port(), request.get(), &reply));
    const XmlDocument owned(reply);
    const auto seen = server.requests();
    ASSERT_EQ(c.requests_seen, seen.size());
    for (const PeerRequest& sent : seen) {
        EXPECT_EQ(seen[0].id, sent.id);  // a resend keeps its id
        EXPECT_EQ(communicate::text_form(request.get()), sent.payload);
    }
    if (c.result == 1) {
        ASSERT_NE(nullptr, reply);
        EXPECT_EQ(communicate::text_form(request.get()), communicate::text_form(reply));
    } else {
        EXPECT_EQ(nullptr, reply);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UdpExchange, testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CommunicateTest, WithAKeyEveryDatagramIsTaggedAndAnUntaggedReplyIgnored) {
    configure("secret-key", free_udp_port());
    ScriptedPeer server(0, "secret-key");
    server.serve([](int number, const PeerRequest& request) {
        return echo(request, number == 0 ? "" : "secret-key");
    });
    communicate::CommunicatorOptions options;
    options.times.reply_wait_ms = 1000;
    const communicate::Communicator communicator(options);
    const XmlDocument request = parse("<TARN><TradeCode>HeartTest</TradeCode></TARN>");
    XmlNode* reply = nullptr;
    EXPECT_EQ(1, communicator.udp_exchange("127.0.0.1", server.port(), request.get(), &reply));
    const XmlDocument owned(reply);
    // The peer reads only tagged requests; the first, untagged reply was dropped.
    EXPECT_EQ(2u, server.requests().size());
    EXPECT_STREQ("HeartTest", cutil_xml_get(reply, "TARN/TradeCode"));
}

}  // namespace
