// The real QuarnAssCommunicate.dll behind the library's gateway, and the
// export SwitchUser reaching its listener in another process. Each test
// unloads the module again: its threads must be gone by then.
#include "os/module.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "autocheck/users/switch_user.h"
#include "interface/assistant_dir.h"
#include "interface/gateway.h"
#include "interface/sibling_abi.h"
#include "os/event.h"
#include "os/file.h"
#include "os/process.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/communicate/fixture.h"
#include "siblings/communicate/scripted_peer.h"
#include "support/helper_process.h"

namespace {

using namespace quarn::test;

const std::string kAnswer7 =
    std::string(kHeaderLine) + "<TARN>\r\n\t<Result>7</Result>\r\n</TARN>\r\n";

// The real module, loaded for the scope and unloaded (threads stopped) after.
struct RealModule {
    os::Handle handle = os::module_load((program_dir() + sibling::kCommunicateDll).c_str());
    ~RealModule() {
        if (handle != nullptr) os::module_free(handle);
    }
};

TEST_F(CommunicateTest, GatewayWrappersThroughTheRealModule) {
    const std::uint16_t listening_port = free_udp_port();
    configure(nullptr, listening_port);
    std::unique_ptr<ScriptedPeer> peer;
    for (int waited = 0; waited < kFixedPortWaitMs; waited += 200) {
        peer = std::make_unique<ScriptedPeer>(sibling::kServerUdpPort);
        if (peer->port() != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ScriptedPeer& server = *peer;
    ASSERT_EQ(sibling::kServerUdpPort, server.port()) << "the server port stays taken";
    server.serve([](int, const PeerRequest& request) {
        return communicate::make_datagrams(communicate::Kind::kReply, request.id, request.payload,
                                           "");
    });
    const RealModule module;
    ASSERT_NE(nullptr, module.handle);

    const XmlDocument request =
        parse("<TARN><TradeCode>QueryDevInfo</TradeCode><AgentID>3</AgentID></TARN>");
    XmlNode* reply = nullptr;
    EXPECT_EQ(1, Call_GetUdpPacketFrom("127.0.0.1", request.get(), &reply));
    EXPECT_EQ(communicate::text_form(request.get()), communicate::text_form(reply));
    cutil_xml_free(reply);

    Call_SetPacketRecvCallBack(&PushLog::callback);
    ASSERT_TRUE(wait_for_file(secret_path())) << "the local port stays taken";
    reply = nullptr;
    EXPECT_EQ(1, Call_GetTcpPacketFrom(request.get(), &reply));
    EXPECT_EQ(kAnswer7, communicate::text_form(reply));
    cutil_xml_free(reply);

    // Without a key an untagged push is refused; the explicit downgrade lets
    // pushes in untagged (the key is read again within a second), and the
    // one resent under the same id runs once.
    ScriptedPeer pusher;
    const auto push = [&](std::uint32_t id) {
        pusher.send(listening_port,
                    communicate::make_datagrams(communicate::Kind::kPush, id,
                                                "<TARN><WhatToDo>IpRenew</WhatToDo></TARN>", ""));
    };
    const std::size_t before = PushLog::taken().size();  // the local request's
    push(76);
    PeerRequest refused;
    EXPECT_FALSE(pusher.receive(communicate::Kind::kPushAnswer, 2000, &refused));
    EXPECT_EQ(before, PushLog::taken().size());
    write("SecurityDowngrade", "1");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (std::uint32_t id : {77u, 77u, 78u}) push(id);
    std::set<std::uint32_t> answered;
    PeerRequest answer;
    while (answered.size() < 2 && pusher.receive(communicate::Kind::kPushAnswer, 10000, &answer)) {
        answered.insert(answer.id);
        EXPECT_EQ(kAnswer7, answer.payload);
    }
    EXPECT_EQ((std::set<std::uint32_t>{77, 78}), answered);
    EXPECT_EQ(3u, PushLog::taken().size());
}

// The running assistant of the switch test: the real module with a callback
// that records the document. argv: ready event, done event, record file.
QUARN_TEST_HELPER(assistant_listener) {
    FakeModule config(fake_path("QuarnAssConfigMgr.dll"));
    auto write_config = reinterpret_cast<int(QUARN_CDECL*)(const char*, const char*)>(
        config.symbol("TarnWriteConfig"));
    write_config("ListeningPort", std::to_string(free_udp_port()).c_str());
    const RealModule module;
    auto set_callback = reinterpret_cast<sibling::SetPacketRecvCallBackFunction>(
        os::module_symbol(module.handle, "SetPacketRecvCallBack"));
    if (set_callback == nullptr) return 2;
    set_callback(&PushLog::callback);
    // The secret is written once the listener holds its port.
    if (!wait_for_file(secret_path())) return 4;
    const os::Handle ready = os::event_open(argv[0]);
    const os::Handle done = os::event_open(argv[1]);
    os::event_set(ready);
    os::event_wait(done, 30000);
    os::event_close(ready);
    os::event_close(done);
    const auto taken = PushLog::taken();
    std::ofstream(argv[2], std::ios::binary) << (taken.empty() ? "" : taken[0]);
    return taken.size() == 1 ? 0 : 3;
}

TEST_F(CommunicateTest, SwitchUserReachesTheListenerOfAnotherProcess) {
    FakeModule log(fake_path("QuarnAssLog.dll"));
    const RealModule module;
    ASSERT_NE(nullptr, module.handle);
    const std::string tag = std::to_string(os::process_id());
    const std::string ready_name = "QuarnCommunicateTest Ready " + tag;
    const std::string done_name = "QuarnCommunicateTest Done " + tag;
    const os::Handle ready = os::event_create(ready_name.c_str(), os::EventReset::kManual, false);
    const os::Handle done = os::event_create(done_name.c_str(), os::EventReset::kManual, false);
    const std::string record = home_.path("received.xml");
    const os::Handle helper =
        spawn_helper("assistant_listener", {ready_name.c_str(), done_name.c_str(), record.c_str()});
    ASSERT_EQ(0, os::event_wait(ready, 30000));

    char* error = nullptr;
    EXPECT_EQ(
        1, SwitchUser("<TARN><UserName>bob</UserName><Password>p&amp;w</Password></TARN>", &error));
    EXPECT_EQ(nullptr, error);
    os::event_set(done);
    EXPECT_EQ(0, wait_helper(helper));
    os::event_close(ready);
    os::event_close(done);

    std::stringstream received;
    received << std::ifstream(record, std::ios::binary).rdbuf();
    EXPECT_EQ(
        std::string(kHeaderLine) +
            "<TARN>\r\n\t<TradeCode>SwitchUser</TradeCode>\r\n\t<WhatToDo>SwitchUser</WhatToDo>\r\n"
            "\t<UserName>bob</UserName>\r\n\t<Password>p&amp;w</Password>\r\n</TARN>\r\n",
        received.str());
    // The answer came back: no failed exchange was logged.
    EXPECT_TRUE(log.calls_of("TarnLogToFile").empty());
}

}  // namespace
