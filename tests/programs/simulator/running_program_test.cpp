// The program itself on loopback, as the end-to-end tests drive it: started
// with ephemeral ports, it prints them, answers the agent's wire code under
// the scenario's CryptKey, serves the web root, pushes to a device and
// records every exchange as one JSON line; SIGTERM ends it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "cutil/xml.h"
#include "os/crypto.h"
#include "os/process.h"
#include "os/socket.h"
#include "programs/simulator/url_base64.h"
#include "programs/simulator/xml_text.h"
#include "siblings/QuarnActivex/manifest.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/document_text.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"
#include "support/gbk.h"

namespace {

namespace fs = std::filesystem;
using simulator::Json;
using namespace std::chrono_literals;

constexpr char kKey[] = "s3cret";
constexpr char kPlugin[] = "MZ plug-in bytes";

// The scenario's manifest signing key, named in the scenario.
const os::EcdsaPrivateKey& sign_key() {
    static const os::EcdsaPrivateKey key = [] {
        os::EcdsaPrivateKey made{};
        os::ecdsa_generate(made);
        return made;
    }();
    return key;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

class RunningSimulator : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("quarnsim-test-" + std::to_string(os::process_id()));
        fs::create_directories(dir_);
        // The device's listening port is the test's own socket, so pushes come here.
        agent_ = os::udp_open(os::kLoopbackIp, 0);
        os::SocketAddress bound;
        ASSERT_TRUE(os::socket_local_address(agent_, &bound));
        const Json scenario = {{"crypt_key", kKey},
                               {"sign_key", activex::private_key_text(sign_key())},
                               {"register_unknown", false},
                               {"devices", {{{"id", "1001"}, {"listening_port", bound.port}}}},
                               {"users",
                                {{{"name", "zhangsan"},
                                  {"password", "Quarn@123"},
                                  {"role_id", "3"},
                                  {"policy_id", "12"}}}},
                               {"identity_policy",
                                {{"CheckAgent", "Yes"},
                                 {"HowLongNotInsert", 5},
                                 {"DefaultAuthType", "User"},
                                 {"AllowAuthType", "User"},
                                 {"IsAutoRepair", 0},
                                 {"SupportNat", 0},
                                 {"SuportPraxa", 0}}}};
        std::ofstream(dir_ / "scenario.json") << scenario.dump();
        fs::create_directories(dir_ / "download");
        std::ofstream(dir_ / "download" / "Plugin.dll", std::ios::binary) << kPlugin;
        std::ofstream(dir_ / "download" / "notes.txt") << "not a module";
        const std::string command =
            std::string("'") + QUARNSIM_PATH + "' --scenario '" +
            (dir_ / "scenario.json").string() + "' --record '" + record().string() +
            "' --download-dir '" + (dir_ / "download").string() +
            "' --udp-port 0 --http-port 0 --exit-after 120 > '" + (dir_ / "out.txt").string() +
            "' 2>&1 & echo $! > '" + (dir_ / "pid").string() + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
        for (int i = 0; i < 200 && read_file(dir_ / "out.txt").find("ready") == std::string::npos;
             ++i) {
            std::this_thread::sleep_for(100ms);
        }
        const std::string out = read_file(dir_ / "out.txt");
        ASSERT_EQ(
            2, std::sscanf(out.c_str(), "quarnsim ready udp=%hu http=%hu", &udp_port_, &http_port_))
            << out;
    }

    static void TearDownTestSuite() {
        std::string pid = read_file(dir_ / "pid");
        pid.erase(pid.find_last_not_of("\n") + 1);
        // SIGTERM ends it: the record is complete and the process gone.
        std::system(("kill -TERM " + pid).c_str());
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) != 0;
            if (!gone) std::this_thread::sleep_for(100ms);
        }
        if (!gone) ADD_FAILURE() << "quarnsim did not end on SIGTERM";
        os::socket_close(agent_);
        fs::remove_all(dir_);
    }

    static fs::path record() { return dir_ / "record.jsonl"; }

    // The first record line that `matches`, waiting for it (bounded).
    static Json wait_for_line(const std::function<bool(const Json&)>& matches) {
        for (int i = 0; i < 100; ++i) {
            std::istringstream lines(read_file(record()));
            for (std::string line; std::getline(lines, line);) {
                const Json parsed = Json::parse(line);
                if (matches(parsed)) return parsed;
            }
            std::this_thread::sleep_for(100ms);
        }
        return nullptr;
    }

    // One request/reply exchange as the agent's communication module makes it.
    static XmlDocument exchange(const char* text, const std::string& key, std::uint32_t wait_ms) {
        const XmlDocument request(cutil_xml_import(text, "test", "exchange", __LINE__));
        XmlNode* reply = nullptr;
        communicate::udp_exchange("127.0.0.1", udp_port_, request.get(), &reply, key, {wait_ms, 1});
        return XmlDocument(reply);
    }

    static inline fs::path dir_;
    static inline os::Socket agent_ = os::kNoSocket;
    static inline std::uint16_t udp_port_ = 0;
    static inline std::uint16_t http_port_ = 0;
};

constexpr char kQuery[] =
    "<TARN><DoxVersion></DoxVersion><TradeCode>QueryDevInfo</TradeCode>"
    "<ComputerName>PC-1</ComputerName></TARN>";

TEST_F(RunningSimulator, AnswersTagsUnderItsKeyAndDropsTheRest) {
    const XmlDocument reply = exchange(kQuery, kKey, 3000);
    ASSERT_TRUE(reply);
    EXPECT_STREQ("1001", cutil_xml_get(reply.get(), "TARN/AgentID"));
    EXPECT_STREQ("No", cutil_xml_get(reply.get(), "TARN/IsForbid"));
    const Json line = wait_for_line([](const Json& l) { return l["kind"] == "udp"; });
    ASSERT_FALSE(line.is_null());
    EXPECT_EQ("QueryDevInfo", line["trade"]);
    EXPECT_EQ("1001", line["device"]);
    EXPECT_NE(std::string::npos, line["reply"].get<std::string>().find("<AgentID>1001</AgentID>"));
    EXPECT_TRUE(line["sent"].get<bool>());

    for (const auto& [key, reason] :
         {std::pair<const char*, const char*>{"", "untagged"}, {"other key", "bad_tag"}}) {
        SCOPED_TRACE(reason);
        EXPECT_FALSE(exchange(kQuery, key, 300));
        EXPECT_FALSE(wait_for_line([reason = reason](const Json& l) {
                         return l["kind"] == "udp_drop" && l["reason"] == reason;
                     }).is_null());
    }
}

// A simulator left running (a test that failed half-way) must make the next
// start on its port fail, not share the port's connections with it.
TEST_F(RunningSimulator, ASecondOneOnTheSameWebPortDoesNotStart) {
    const std::string command =
        std::string("'") + QUARNSIM_PATH + "' --scenario '" + (dir_ / "scenario.json").string() +
        "' --record '" + (dir_ / "second.jsonl").string() + "' --udp-port 0 --http-port " +
        std::to_string(http_port_) + " --exit-after 5 > '" + (dir_ / "second.txt").string() +
        "' 2>&1; echo $? > '" + (dir_ / "second.code").string() + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    EXPECT_EQ("3\n", read_file(dir_ / "second.code"));
    EXPECT_NE(std::string::npos, read_file(dir_ / "second.txt").find("cannot serve HTTP"));
}

TEST_F(RunningSimulator, WebAuthenticationGivesRoleAndPolicyToKnownCredentialsOnly) {
    const struct {
        const char* password;
        const char* device;
        bool accepted;
    } cases[] = {{"Quarn@123", "1001", true}, {"wrong", "1001", false}, {"Quarn@123", "77", false}};
    httplib::Client client("127.0.0.1", http_port_);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.password) + " on " + c.device);
        const std::string path =
            "/mod/client_check/ajax.php?tradecode=net_auth&type=User&user_name=" +
            simulator::url_base64_encode("zhangsan") +
            "&password=" + simulator::url_base64_encode(c.password) + "&deviceid=" + c.device;
        const auto response = client.Get(path.c_str());
        ASSERT_TRUE(response);
        const bool granted = response->body.find("RoleID='3'") != std::string::npos &&
                             response->body.find("PolicyID='12'") != std::string::npos;
        EXPECT_EQ(c.accepted, granted) << response->body;
        EXPECT_EQ(0u, response->body.rfind("__res = ", 0));
    }
    const Json line = wait_for_line(
        [](const Json& l) { return l["kind"] == "http" && l.value("accepted", false); });
    ASSERT_FALSE(line.is_null());
    EXPECT_EQ("zhangsan", line["user"]);
    EXPECT_EQ("1001", line["device"]);
    // The admin page lists the device with its last authentication.
    const auto admin = client.Get("/admin");
    ASSERT_TRUE(admin);
    EXPECT_NE(std::string::npos, admin->body.find("zhangsan")) << admin->body;
}

TEST_F(RunningSimulator, PushGoesToTheDeviceSealedAndItsAnswerIsRecorded) {
    ASSERT_TRUE(exchange(kQuery, kKey, 3000));  // the device speaks, so its address is known
    std::string received;
    bool sealed = false;
    std::uint32_t push_id = 0;
    std::thread agent([&] {
        std::string buffer(communicate::kMaxDatagramSize, '\0');
        os::SocketAddress from;
        const long size = os::udp_receive_from(agent_, buffer.data(), buffer.size(), 10000, &from);
        communicate::Fragment fragment;
        if (size <= 0 ||
            communicate::read_datagram(buffer.data(), static_cast<std::size_t>(size), kKey,
                                       &fragment) != communicate::Verdict::kAccepted ||
            fragment.header.kind != communicate::Kind::kPush) {
            return;
        }
        // Sealed under the device's key: the port's holder reads it only with the key.
        sealed = (fragment.header.flags & communicate::kFlagSealed) != 0;
        communicate::open_push(kKey, false, fragment.header,
                               std::string(fragment.data, fragment.size), &received);
        push_id = fragment.header.id;
        communicate::send_datagrams(
            agent_, from,
            communicate::make_datagrams(communicate::Kind::kPushAnswer, push_id,
                                        communicate::push_answer_payload(1), kKey));
    });
    httplib::Client client("127.0.0.1", http_port_);
    client.set_read_timeout(30, 0);
    const auto response = client.Post(
        "/admin/push",
        httplib::Params{
            {"device", "1001"}, {"command", "showuseronemsg"}, {"Msg", u8"你好"}, {"wait", "10"}});
    agent.join();
    ASSERT_TRUE(response);
    const Json answer = Json::parse(response->body);
    EXPECT_TRUE(answer["answered"].get<bool>()) << response->body;
    EXPECT_EQ(1, answer.value("result", -1));

    EXPECT_TRUE(sealed);
    const XmlDocument push(cutil_xml_import(received.c_str(), "test", "push", __LINE__));
    ASSERT_TRUE(push) << received;
    EXPECT_STREQ("ShowUserOneMsg", cutil_xml_get(push.get(), "TARN/WhatToDo"));
    EXPECT_GBK_EQ("你好", cutil_xml_get(push.get(), "TARN/Msg"));
    // Push ids start from the clock (seconds since 1970), so a restarted
    // server's pushes stay above those an agent has seen.
    EXPECT_GT(push_id, 1700000000u);

    const Json line = wait_for_line([](const Json& l) { return l["kind"] == "push"; });
    ASSERT_FALSE(line.is_null());
    EXPECT_EQ("1001", line["device"]);
    EXPECT_TRUE(line["answered"].get<bool>());
    EXPECT_EQ(1, line["result"]);
    EXPECT_EQ(push_id, line["id"]);
}

TEST_F(RunningSimulator, DownloadsModulesListedInAManifestSignedWithItsKey) {
    httplib::Client client("127.0.0.1", http_port_);
    const auto module = client.Get("/download/Plugin.dll");
    ASSERT_TRUE(module);
    EXPECT_EQ(kPlugin, module->body);
    const auto manifest = client.Get("/download/QuarnModules.manifest");
    ASSERT_TRUE(manifest);
    os::Sha256Digest digest{};
    ASSERT_TRUE(os::sha256({{kPlugin, sizeof kPlugin - 1}}, digest));
    // Checked as the module-call component checks a fetched module.
    const os::EcdsaPublicKey public_key = os::ecdsa_public_of(sign_key());
    EXPECT_EQ(activex::ManifestCheck::kValid,
              activex::check_manifest(manifest->body, public_key, "plugin.DLL", digest));
    os::EcdsaPrivateKey other{};
    ASSERT_TRUE(os::ecdsa_generate(other));
    EXPECT_EQ(
        activex::ManifestCheck::kBadTag,
        activex::check_manifest(manifest->body, os::ecdsa_public_of(other), "Plugin.dll", digest));
    EXPECT_EQ(activex::ManifestCheck::kNotListed,
              activex::check_manifest(manifest->body, public_key, "notes.txt", digest));

    // The installation packet gives the public key, never the private one.
    const auto packet = client.Get("/admin/install_packet?device=1001");
    ASSERT_TRUE(packet);
    EXPECT_NE(std::string::npos,
              packet->body.find("<ModuleSignKey>" + activex::public_key_text(public_key) +
                                "</ModuleSignKey>"));
    EXPECT_EQ(std::string::npos, packet->body.find(activex::private_key_text(sign_key())));
}

}  // namespace
