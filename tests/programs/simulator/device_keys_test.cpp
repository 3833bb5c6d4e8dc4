// A key per endpoint: under a deployment secret each device's key is its own,
// the server tells which device a datagram comes from by the key it verifies
// under, and one endpoint's key forges nothing for another.
#include "programs/simulator/device_keys.h"

#include <gtest/gtest.h>

#include <memory>

#include "cutil/xml.h"
#include "programs/simulator/admin.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/scenario.h"
#include "programs/simulator/server_state.h"
#include "programs/simulator/udp_server.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"

namespace {

using communicate::Kind;
using communicate::Verdict;

constexpr char kPolicy[] =
    R"("identity_policy": {"CheckAgent": "Yes", "HowLongNotInsert": 5, "DefaultAuthType": "User",)"
    R"( "AllowAuthType": "User", "IsAutoRepair": 0, "SupportNat": 0, "SuportPraxa": 0})";
constexpr char kPush[] = "<TARN><WhatToDo>ShutdownNetwork</WhatToDo></TARN>";

std::unique_ptr<simulator::ServerState> keyed_state(const char* keys) {
    std::string error;
    const auto scenario =
        simulator::parse_scenario(std::string(R"({"devices": [{"id": "1001"}, {"id": "1002"}], )") +
                                      kPolicy + ", " + keys + "}",
                                  &error);
    EXPECT_TRUE(scenario) << error;
    return std::make_unique<simulator::ServerState>(*scenario);
}

std::string packet_for(const simulator::ServerState& state, const char* device) {
    return simulator::install_packet(state, {{"device", device}}, "127.0.0.1:36580");
}

TEST(DeviceKeys, EachDeviceHoldsItsOwnKeyAndNeverTheSecret) {
    const auto owned = keyed_state(R"("deployment_secret": "d3pl0y")");
    const simulator::ServerState& state = *owned;
    const std::string a = simulator::device_key(state.scenario(), "1001");
    const std::string b = simulator::device_key(state.scenario(), "1002");
    EXPECT_EQ(64u, a.size());
    EXPECT_NE(a, b);

    // The agent of 1002 refuses a push tagged with 1001's key, and the other way round.
    const auto from_a = communicate::make_datagrams(Kind::kPush, 1, kPush, a);
    communicate::Fragment fragment;
    EXPECT_EQ(Verdict::kBadTag,
              communicate::read_datagram(from_a[0].data(), from_a[0].size(), b, &fragment));
    EXPECT_EQ(Verdict::kAccepted,
              communicate::read_datagram(from_a[0].data(), from_a[0].size(), a, &fragment));

    // The server finds the device by its key; a key of no device is refused.
    std::string key, device;
    const auto request_b = communicate::make_datagrams(Kind::kRequest, 2, "<TARN/>", b);
    EXPECT_EQ(Verdict::kAccepted,
              simulator::read_device_datagram(state, request_b[0].data(), request_b[0].size(),
                                              &fragment, &key, &device));
    EXPECT_EQ(b, key);
    EXPECT_EQ("1002", device);
    for (const std::string& other : {std::string("d3pl0y"), std::string()}) {
        const auto forged = communicate::make_datagrams(Kind::kRequest, 3, "<TARN/>", other);
        EXPECT_NE(Verdict::kAccepted,
                  simulator::read_device_datagram(state, forged[0].data(), forged[0].size(),
                                                  &fragment, &key, &device));
    }

    // The installation packet gives the device its key, not the secret.
    const std::string packet = packet_for(state, "1002");
    EXPECT_NE(std::string::npos, packet.find("<CryptKey>" + b + "</CryptKey>")) << packet;
    EXPECT_EQ(std::string::npos, packet.find("d3pl0y"));
    EXPECT_NE(std::string::npos, packet.find("<ModuleSignKey>"));
    // Over HTTPS the packet also pins the server's key; over HTTP there is no key to pin.
    const std::string secure =
        simulator::install_packet(state, {{"device", "1002"}}, "localhost:36580", "https", "PIN=");
    EXPECT_NE(std::string::npos, secure.find("<WebUrl>https://localhost:36580</WebUrl>"));
    EXPECT_NE(std::string::npos, secure.find("<ServerKeyPin>PIN=</ServerKeyPin>")) << secure;
    EXPECT_EQ(std::string::npos,
              simulator::install_packet(state, {{"device", "1002"}}, "h:1", "http", "PIN=")
                  .find("ServerKeyPin"));
}

// A device speaks for itself only: a request under 1001's key that names
// another device as its AgentID is not answered.
TEST(DeviceKeys, ARequestNamingAnotherDeviceIsRefused) {
    const auto owned = keyed_state(R"("deployment_secret": "d3pl0y")");
    simulator::Recorder recorder;
    simulator::UdpServer server(*owned, recorder);
    ASSERT_TRUE(server.start(os::kLoopbackIp, 0));
    const std::string key = simulator::device_key(owned->scenario(), "1001");
    const struct {
        const char* agent_id;
        bool answered;
    } rows[] = {{"1001", true}, {"1002", false}, {"0", true}, {"", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.agent_id);
        const std::string text = std::string("<TARN><TradeCode>HeartTest</TradeCode><AgentID>") +
                                 row.agent_id + "</AgentID></TARN>";
        const XmlDocument request(cutil_xml_import(text.c_str(), "test", "agent", __LINE__));
        XmlNode* reply = nullptr;
        const int answered = communicate::udp_exchange("127.0.0.1", server.port(), request.get(),
                                                       &reply, key, {1000, 1});
        const XmlDocument owned_reply(reply);
        EXPECT_EQ(row.answered, answered != 0);
    }
}

TEST(DeviceKeys, ANamedKeyIsEveryDevicesAndNoneWithSecurityOff) {
    const auto shared = keyed_state(R"("crypt_key": "shared")");
    EXPECT_EQ("shared", simulator::device_key(shared->scenario(), "1001"));
    EXPECT_EQ("shared", simulator::device_key(shared->scenario(), "1002"));
    const auto off = keyed_state(R"("security": "off")");
    EXPECT_EQ("", simulator::device_key(off->scenario(), "1001"));
    const std::string packet = packet_for(*off, "1001");
    EXPECT_NE(std::string::npos, packet.find("<SecurityDowngrade>1</SecurityDowngrade>"));
    EXPECT_EQ(std::string::npos, packet.find("<CryptKey>"));
    EXPECT_EQ(std::string::npos, packet.find("<ModuleSignKey>"));
}

}  // namespace
