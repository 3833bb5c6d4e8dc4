// Another program of the machine holding our ports or our listener: the
// held port is reported and taken as soon as it is freed.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "interface/assistant_dir.h"
#include "os/error.h"
#include "os/file.h"
#include "os/process.h"
#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/listen_state.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/communicate/fixture.h"
#include "siblings/communicate/scripted_peer.h"
#include "support/helper_process.h"

namespace {

using namespace quarn::test;
using communicate::Kind;

constexpr char kKey[] = "neighbour-key";

std::string status_text() {
    char path[kPathSize];
    gateway::assistant_file_path(communicate::kStatusFileName, path);
    const os::Handle file = os::file_open_read(path, os::kFileShareRead | os::kFileShareWrite);
    if (file == nullptr) return "(no status file)";
    char text[1024];
    std::size_t done = 0;
    os::file_read(file, text, sizeof text, &done);
    os::file_close(file);
    return std::string(text, done);
}

std::uint16_t free_tcp_port() {
    const os::Socket probe = os::tcp_listen_loopback(0);
    os::SocketAddress bound;
    os::socket_local_address(probe, &bound);
    os::socket_close(probe);
    return bound.port;
}

enum class Held { kPushPort, kLocalPort };

struct SquatCase {
    const char* name;
    Held held;
};

const SquatCase kSquatCases[] = {
    {"PushPort", Held::kPushPort},
    {"LocalListener", Held::kLocalPort},
};

class Squatted : public CommunicateTest, public testing::WithParamInterface<SquatCase> {};

TEST_P(Squatted, HeldPortReportedAndTakenOnceFreed) {
    const bool push = GetParam().held == Held::kPushPort;
    const std::uint16_t push_port = free_udp_port();
    configure(kKey, push_port);
    communicate::CommunicatorOptions options;
    options.local_port = free_tcp_port();
    // Any address, as a squatter would bind it.
    os::Socket squatter =
        push ? os::udp_open(0, push_port) : os::tcp_listen_loopback(options.local_port);
    ASSERT_NE(os::kNoSocket, squatter);
    communicate::Communicator communicator(options);
    ASSERT_EQ(1, communicator.set_callback(&PushLog::callback));
    const std::uint16_t port = push ? push_port : options.local_port;
    EXPECT_EQ(0, push ? communicator.push_port() : communicator.local_port());
    const std::string held_line =
        std::string(push ? "push" : "local") + "=held " + std::to_string(port) + " since ";
    EXPECT_NE(std::string::npos, status_text().find(held_line)) << status_text();

    os::socket_close(squatter);
    for (int waited = 0; waited < 10000; waited += 100) {
        if ((push ? communicator.push_port() : communicator.local_port()) == port) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(port, push ? communicator.push_port() : communicator.local_port());
    // The status file is written just after the port is taken.
    const std::string listening_line =
        std::string(push ? "push" : "local") + "=listening " + std::to_string(port);
    for (int waited = 0; waited < 5000 && status_text().find(listening_line) == std::string::npos;
         waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(std::string::npos, status_text().find(listening_line)) << status_text();
    if (push) {
        ScriptedPeer server(0, kKey);
        server.send(port, communicate::make_datagrams(
                              Kind::kPush, 9, "<TARN><WhatToDo>IpRenew</WhatToDo></TARN>", kKey));
        PeerRequest answer;
        EXPECT_TRUE(server.receive(Kind::kPushAnswer, 10000, &answer));
    } else {
        const XmlDocument request = parse("<TARN><WhatToDo>IpRenew</WhatToDo></TARN>");
        XmlNode* reply = nullptr;
        EXPECT_EQ(1, communicator.tcp_exchange("127.0.0.1", port, request.get(), &reply));
        cutil_xml_free(reply);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Squatted, testing::ValuesIn(kSquatCases),
                         [](const auto& row) { return std::string(row.param.name); });

// A program of another user holding the local port: the client asks it to
// prove the secret before anything else is sent, so it never sees the
// request's password (not in clear, not sealed under a key it could learn).
TEST_F(CommunicateTest, ListenerWithoutTheSecretGetsNothingOfTheRequest) {
    std::string secret;
    ASSERT_TRUE(communicate::create_secret(&secret));  // the genuine listener's, unreadable to it
    const os::Socket fake = os::tcp_listen_loopback(0);
    os::SocketAddress address;
    ASSERT_TRUE(os::socket_local_address(fake, &address));
    std::string received;
    std::thread squatter([&] {
        const os::Socket connection = os::tcp_accept(fake, 10000, nullptr);
        char byte = 0;
        // It answers the hello as a listener would, with a proof it cannot make.
        bool challenged = false;
        while (os::tcp_receive_all(connection, &byte, 1, 2000)) {
            received += byte;
            if (!challenged && received.size() == 38) {
                const std::string challenge = std::string("TARL\2\2") + std::string(64, 'c');
                os::tcp_send_all(connection, challenge.data(), challenge.size(), 2000);
                challenged = true;
            }
        }
        os::socket_close(connection);
    });
    communicate::CommunicatorOptions options;
    options.answer_wait_ms = 3000;
    const communicate::Communicator client(options);
    const XmlDocument request =
        parse("<TARN><WhatToDo>SwitchUser</WhatToDo><Password>s3cret-pass</Password></TARN>");
    XmlNode* reply = nullptr;
    EXPECT_EQ(0, client.tcp_exchange("127.0.0.1", address.port, request.get(), &reply));
    squatter.join();
    os::socket_close(fake);
    EXPECT_EQ(nullptr, reply);
    EXPECT_EQ(38u, received.size()) << "the hello only";
    EXPECT_EQ(std::string::npos, received.find("s3cret-pass"));
}

// --- slow and many clients on the local listener -----------------------------------

class LocalPeers : public CommunicateTest {
  protected:
    void start(std::uint32_t local_wait_ms) {
        configure(kKey, free_udp_port());
        communicate::CommunicatorOptions options;
        options.local_port = 0;
        options.local_wait_ms = local_wait_ms;
        options.answer_wait_ms = 3000;
        communicator_ = std::make_unique<communicate::Communicator>(options);
        ASSERT_EQ(1, communicator_->set_callback(&PushLog::callback));
        ASSERT_NE(0, communicator_->local_port());
    }
    os::Socket connect() const {
        return os::tcp_connect({os::kLoopbackIp, communicator_->local_port()}, 5000);
    }
    int exchange() const {
        const XmlDocument request = parse("<TARN><WhatToDo>SwitchUser</WhatToDo></TARN>");
        XmlNode* reply = nullptr;
        const int result = communicator_->tcp_exchange("127.0.0.1", communicator_->local_port(),
                                                       request.get(), &reply);
        cutil_xml_free(reply);
        return result;
    }
    std::unique_ptr<communicate::Communicator> communicator_;
};

// One byte of a hello every 300 ms never completes the frame: the listener
// closes the connection at the frame's deadline, not at a deadline per read.
TEST_F(LocalPeers, TricklingClientCutAtTheFrameDeadline) {
    start(1500);
    const os::Socket client = connect();
    ASSERT_NE(os::kNoSocket, client);
    bool closed = false;
    char byte = 0;
    for (int i = 0; i < 20 && !closed; ++i) {  // 6 s of trickling at most
        const char one = 'T';
        closed = !os::tcp_send_all(client, &one, 1, 1000) ||
                 (os::socket_wait(&client, 1, nullptr, 300) == 0 &&
                  !os::tcp_receive_all(client, &byte, 1, 100));
    }
    os::socket_close(client);
    EXPECT_TRUE(closed) << "still open after 6 s of trickling";
}

// Silent connections hold every place: a genuine client is served all the
// same, in the place of the one that waited longest; the others keep theirs.
TEST_F(LocalPeers, GenuineClientServedWhileSilentOnesHoldEveryPlace) {
    start(20000);
    std::vector<os::Socket> silent;
    for (std::size_t i = 0; i < communicate::Communicator::kLocalConnections; ++i) {
        silent.push_back(connect());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // accepted in this order
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(1, exchange()) << "kept out by connections that prove nothing";
    char byte = 0;
    EXPECT_FALSE(os::tcp_receive_all(silent[0], &byte, 1, 5000));
    EXPECT_NE(os::kErrorSocketTimedOut, os::last_error())
        << "the oldest is closed, not left to wait";
    EXPECT_EQ(os::kSocketWaitTimeout, os::socket_wait(&silent[1], 1, nullptr, 300))
        << "a newer one keeps its place";
    for (const os::Socket socket : silent) os::socket_close(socket);
}

// quarnctl switch says the switch was taken only when the assistant answered.
TEST_F(CommunicateTest, QuarnctlSwitchFailsWhenNoAssistantAnswers) {
    const char* arguments[] = {"switch", "bob", "pw", nullptr};
    const os::Handle quarnctl =
        os::process_spawn((program_dir() + "quarnctl.exe").c_str(), arguments);
    ASSERT_NE(nullptr, quarnctl);
    EXPECT_EQ(1, wait_helper(quarnctl, 60000));
}

}  // namespace
