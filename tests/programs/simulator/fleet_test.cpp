// The simulator serving a fleet: users made from a template, a push to every
// device, the state in pages with a summary, and the installation packet for
// machines still to register.
#include "programs/simulator/fleet.h"

#include <gtest/gtest.h>

#include <thread>

#include "os/socket.h"
#include "programs/simulator/admin.h"
#include "programs/simulator/scenario.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"

namespace {

using namespace simulator;

// The policy every scenario needs.
constexpr char kPolicy[] = R"("identity_policy": {"CheckAgent": "Yes", "HowLongNotInsert": 5,
    "DefaultAuthType": "User", "AllowAuthType": "User", "IsAutoRepair": 0, "SupportNat": 0,
    "SuportPraxa": 0})";

std::optional<Scenario> with_users(const std::string& generated, std::string* error) {
    return parse_scenario(std::string("{") + kPolicy +
                              R"(, "users": [{"name": "zhang", "password": "pw", "role_id": "3",
                                         "policy_id": "12"}],
                              "generated_users": )" +
                              generated + "}",
                          error);
}

TEST(FleetScenario, GeneratedUsersFollowTheListedOnesNumberedFromOne) {
    const struct {
        const char* recipe;
        std::size_t count;  // 0: refused
        const char* first;
        const char* last;
    } rows[] = {
        {R"({"prefix": "fleet", "count": 3, "password": "Fp", "role_id": 4, "policy_id": "9"})", 3,
         "fleet0001", "fleet0003"},
        {R"({"prefix": "u", "count": 12345, "role_id": "4", "policy_id": "9"})", 12345, "u00001",
         "u12345"},
        {R"({"prefix": "u", "count": 0, "role_id": "4", "policy_id": "9"})", 0, "", ""},
        {R"({"prefix": "", "count": 2, "role_id": "4", "policy_id": "9"})", 0, "", ""},
        {R"({"prefix": "u", "count": 2, "policy_id": "9"})", 0, "", ""},
        {R"([1, 2])", 0, "", ""},
    };
    for (const auto& row : rows) {
        std::string error;
        const auto scenario = with_users(row.recipe, &error);
        if (row.count == 0) {
            EXPECT_FALSE(scenario) << row.recipe;
            EXPECT_NE(std::string::npos, error.find("generated_users")) << error;
            continue;
        }
        ASSERT_TRUE(scenario) << row.recipe << ": " << error;
        ASSERT_EQ(row.count + 1, scenario->users.size()) << row.recipe;
        EXPECT_EQ("zhang", scenario->users[0].name);
        EXPECT_EQ(row.first, scenario->users[1].name);
        EXPECT_EQ(row.last, scenario->users.back().name);
        EXPECT_EQ("4", scenario->users.back().assignment.role_id);
        EXPECT_EQ("9", scenario->users.back().assignment.policy_id);
    }
    std::string error;
    EXPECT_EQ("Fp", with_users(rows[0].recipe, &error)->users[2].password);
}

Scenario scenario_of(const std::string& extra = "") {
    std::string error;
    auto scenario = parse_scenario(
        std::string("{") + kPolicy + R"(, "first_device_id": 1001)" + extra + "}", &error);
    EXPECT_TRUE(scenario) << error;
    return scenario ? *scenario : Scenario{};
}

// Registers `count` devices, each from its own address.
void register_fleet(ServerState& state, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        state.register_device("PC-" + std::to_string(i), "MAC-" + std::to_string(i),
                              0xc6120011 + static_cast<std::uint32_t>(i));
    }
}

TEST(FleetState, PagesOfAHundredWithTheSummaryOfAll) {
    ServerState state(scenario_of());
    register_fleet(state, 250);
    const Json first = state_page(state, 0);
    EXPECT_EQ(100u, first["devices"].size());
    EXPECT_EQ("1001", first["devices"][0]["id"]);
    EXPECT_EQ(3u, first["pages"]);
    EXPECT_EQ(250u, first["summary"]["devices"]);
    EXPECT_EQ(250u, first["summary"]["spoken"]);
    EXPECT_EQ(250u, first["summary"]["checks"]["none"]);
    const Json last = state_page(state, 2);
    ASSERT_EQ(50u, last["devices"].size());
    EXPECT_EQ("1250", last["devices"][49]["id"]);
    EXPECT_TRUE(state_page(state, 3)["devices"].empty());

    const std::string middle = admin_page(state, 1);
    EXPECT_NE(std::string::npos, middle.find("page 2 of 3"));
    EXPECT_NE(std::string::npos, middle.find("/admin?page=0\">previous"));
    EXPECT_NE(std::string::npos, middle.find("/admin?page=2\">next"));
    EXPECT_NE(std::string::npos, middle.find(">1101<"));
    EXPECT_EQ(std::string::npos, middle.find(">1100<"));
    EXPECT_EQ(std::string::npos, admin_page(state, 2).find("\">next"));
}

TEST(FleetState, PacketForANewMachineCarriesNoDeviceOfItsOwn) {
    ServerState state(scenario_of(R"(, "users": [{"name": "zhang", "password": "pw",
                                                  "role_id": "3", "policy_id": "12"}])"));
    register_fleet(state, 1);
    const std::string packet =
        install_packet(state, {{"device", "new"}, {"user", "zhang"}}, "198.18.0.1:36580");
    EXPECT_NE(std::string::npos, packet.find("<DeviceID>0</DeviceID>")) << packet;
    EXPECT_NE(std::string::npos, packet.find("<UserName>zhang</UserName>")) << packet;
    EXPECT_NE(std::string::npos, packet.find("<WebUrl>http://198.18.0.1:36580</WebUrl>"));
    EXPECT_EQ("", install_packet(state, {{"device", "1002"}, {"user", "zhang"}}, "h"));
    EXPECT_EQ("", install_packet(state, {{"device", "new"}, {"user", "nobody"}}, "h"));
}

constexpr char kKey[] = "k";

// An agent on loopback that answers every push it gets with `result`.
struct AnsweringAgent {
    os::Socket socket = os::udp_open(os::kLoopbackIp, 0);
    std::thread thread;
    std::uint16_t port() const {
        os::SocketAddress bound;
        return os::socket_local_address(socket, &bound) ? bound.port : 0;
    }
    void answer(int result) {
        thread = std::thread([this, result] {
            std::string buffer(communicate::kMaxDatagramSize, '\0');
            os::SocketAddress from;
            const long size =
                os::udp_receive_from(socket, buffer.data(), buffer.size(), 5000, &from);
            communicate::Fragment fragment;
            if (size > 0 &&
                communicate::read_datagram(buffer.data(), static_cast<std::size_t>(size), kKey,
                                           &fragment) == communicate::Verdict::kAccepted) {
                communicate::send_datagrams(
                    socket, from,
                    communicate::make_datagrams(communicate::Kind::kPushAnswer, fragment.header.id,
                                                communicate::push_answer_payload(result), kKey));
            }
        });
    }
    ~AnsweringAgent() {
        if (thread.joinable()) thread.join();
        os::socket_close(socket);
    }
};

TEST(FleetPush, EveryDeviceThatSpokeIsPushedToAndEachOutcomeCounted) {
    AnsweringAgent answering, silent;
    const std::string devices =
        R"(, "crypt_key": "k", "register_unknown": false, "devices": [{"id": "1001", "listening_port": )" +
        std::to_string(answering.port()) + R"(}, {"id": "1002", "listening_port": )" +
        std::to_string(silent.port()) + R"(}, {"id": "1003"}])";
    ServerState state(scenario_of(devices));
    for (const char* id : {"1001", "1002"}) state.note_contact(id, os::kLoopbackIp);
    answering.answer(1);
    Recorder recorder;
    PushRequest request;
    request.device_id = kAllDevices;
    request.command = "ShowUserOneMsg";
    request.wait_ms = 4000;
    const Json answer = push_all(state, recorder, request);
    EXPECT_EQ(3u, answer.value("devices", 0u)) << answer.dump();
    EXPECT_EQ(2u, answer.value("sent_count", 0u));
    EXPECT_EQ(1u, answer.value("answered_count", 0u));
    EXPECT_EQ(1u, answer.value("not_spoken", 0u));
    EXPECT_EQ(Json({{"1", 1}}), answer["results"]);
    EXPECT_EQ(Json::array({"1002"}), answer["unanswered"]);
    EXPECT_FALSE(answer["sent"].get<bool>());
    EXPECT_FALSE(answer["answered"].get<bool>());

    ServerState empty(scenario_of(R"(, "register_unknown": false)"));
    const Json none = push_all(empty, recorder, request);
    EXPECT_FALSE(none["sent"].get<bool>());
    EXPECT_TRUE(none.contains("error"));
}

}  // namespace
