// Pushes under a key (tags, seals and freshness) and the local listener's frames,
// against a running Communicator with a recording callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <set>
#include <string>
#include <vector>

#include "os/crypto.h"
#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/drop_log.h"
#include "siblings/QuarnAssCommunicate/local_frame.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"
#include "siblings/communicate/fixture.h"
#include "siblings/communicate/scripted_peer.h"

namespace {

using namespace quarn::test;
using communicate::Kind;

constexpr char kKey[] = "push-key";
const std::string kAnswer7 =
    std::string(kHeaderLine) + "<TARN>\r\n\t<Result>7</Result>\r\n</TARN>\r\n";

class RunningCommunicator : public CommunicateTest {
  protected:
    void SetUp() override {
        CommunicateTest::SetUp();
        configure(kKey, free_udp_port());
        communicate::CommunicatorOptions options;
        options.local_port = 0;
        communicator_ = std::make_unique<communicate::Communicator>(options);
        ASSERT_EQ(1, communicator_->set_callback(&PushLog::callback));
        ASSERT_NE(0, communicator_->push_port());
        ASSERT_NE(0, communicator_->local_port());
    }
    void TearDown() override { communicator_.reset(); }
    std::unique_ptr<communicate::Communicator> communicator_;
};

// kGood: sealed and tagged under the key. The others tagged correctly
// whenever a tag is there, so that only the seal stands in their way.
enum class Tag { kGood, kNone, kWrong, kUnsealed, kBodyChanged, kOtherDevice };

struct Push {
    std::uint32_t id;
    Tag tag;
};

std::vector<std::string> push_datagrams(const Push& push) {
    const std::string command =
        "<TARN><WhatToDo>IpRenew</WhatToDo><N>" + std::to_string(push.id) + "</N></TARN>";
    std::string body;
    switch (push.tag) {
        case Tag::kUnsealed:
            return communicate::frame_datagrams(Kind::kPush, 0, push.id, command, kKey);
        case Tag::kBodyChanged:
            EXPECT_TRUE(communicate::seal_push(kKey, push.id, command, &body));
            body[body.size() / 2] ^= 1;
            return communicate::frame_datagrams(Kind::kPush, communicate::kFlagSealed, push.id,
                                                body, kKey);
        default:
            break;
    }
    const char* key = push.tag == Tag::kNone ? "" : push.tag == Tag::kOtherDevice ? "1002" : kKey;
    auto datagrams = communicate::make_datagrams(Kind::kPush, push.id, command, key);
    if (push.tag == Tag::kWrong) datagrams[0].back() ^= 1;
    return datagrams;
}

struct PushCase {
    const char* name;
    std::vector<Push> pushes;             // sent before a fresh probe (id 5000)
    std::vector<std::uint32_t> answered;  // ids answered, the probe's included
    bool downgraded = false;              // SecurityDowngrade=1
};

const PushCase kPushCases[] = {
    {"FreshSealedOpenedAndAnswered", {{1000, Tag::kGood}}, {1000, 5000}},
    {"UntaggedDropped", {{1000, Tag::kNone}}, {5000}},
    {"WronglyTaggedDropped", {{1000, Tag::kWrong}}, {5000}},
    {"UnsealedUnderKeyDropped", {{1000, Tag::kUnsealed}}, {5000}},
    {"UnsealedTakenWhenDowngraded", {{1000, Tag::kUnsealed}}, {1000, 5000}, true},
    {"SealedBodyChangedDropped", {{1000, Tag::kBodyChanged}}, {5000}},
    {"OtherDevicesKeyDropped", {{1000, Tag::kOtherDevice}}, {5000}},
    {"ReplayDropped", {{1000, Tag::kGood}, {1000, Tag::kGood}}, {1000, 5000}},
    {"OlderThanWindowDropped", {{1000, Tag::kGood}, {936, Tag::kGood}}, {1000, 5000}},
    {"LateInsideWindowAnswered", {{1000, Tag::kGood}, {937, Tag::kGood}}, {1000, 937, 5000}},
};

class KeyedPushes : public RunningCommunicator, public testing::WithParamInterface<PushCase> {};

TEST_P(KeyedPushes, OnlyFreshSealedPushesReachTheCallback) {
    if (GetParam().downgraded) write("SecurityDowngrade", "1");
    ScriptedPeer server(0, kKey);
    for (const Push& push : GetParam().pushes)
        server.send(communicator_->push_port(), push_datagrams(push));
    server.send(communicator_->push_port(), push_datagrams({5000, Tag::kGood}));

    // Commands run side by side: answers and calls come in any order, and a
    // resent id may be answered again from the first one's result.
    std::set<std::uint32_t> answered;
    PeerRequest answer;
    while (answered.size() < GetParam().answered.size() &&
           server.receive(Kind::kPushAnswer, 10000, &answer)) {
        answered.insert(answer.id);
        EXPECT_EQ(kAnswer7, answer.payload);
    }
    const std::set<std::uint32_t> expected(GetParam().answered.begin(), GetParam().answered.end());
    EXPECT_EQ(expected, answered);
    std::set<std::uint32_t> handed;
    for (const std::string& text : PushLog::taken()) {
        const std::size_t at = text.find("<N>");
        ASSERT_NE(std::string::npos, at);
        EXPECT_TRUE(handed.insert(std::stoul(text.substr(at + 3))).second) << "ran twice: " << text;
    }
    EXPECT_EQ(expected, handed);
}

INSTANTIATE_TEST_SUITE_P(Rows, KeyedPushes, testing::ValuesIn(kPushCases),
                         [](const auto& row) { return std::string(row.param.name); });

// --- dispatch: a slow command never delays another ---------------------------------

// Holds the commands named in `held` until released; records every call.
struct Gate {
    static std::mutex lock;
    static std::condition_variable opened;
    static bool open;
    static std::vector<std::string> held;
    static std::vector<std::string> calls;  // WhatToDo of each call, in order

    static int QUARN_CDECL callback(XmlNode* command) {
        const std::string what = cutil_xml_get(command, "TARN/WhatToDo");
        std::unique_lock<std::mutex> guard(lock);
        calls.push_back(what);
        if (std::find(held.begin(), held.end(), what) != held.end()) {
            opened.wait_for(guard, std::chrono::seconds(60), [] { return open; });
        }
        return PushLog::kCallbackResult;
    }
    static void reset(std::vector<std::string> names) {
        std::lock_guard<std::mutex> guard(lock);
        open = false;
        held = std::move(names);
        calls.clear();
    }
    static void release() {
        {
            std::lock_guard<std::mutex> guard(lock);
            open = true;
        }
        opened.notify_all();
    }
    static std::size_t count(const std::string& what) {
        std::lock_guard<std::mutex> guard(lock);
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), what));
    }
};
std::mutex Gate::lock;
std::condition_variable Gate::opened;
bool Gate::open = false;
std::vector<std::string> Gate::held;
std::vector<std::string> Gate::calls;

struct DispatchCase {
    const char* name;
    std::vector<std::string> pushes;       // WhatToDo of each push, ids 2000, 2001, ...
    std::vector<int> answered_while_held;  // each push's result, -1 for none yet
    std::vector<std::string> ran;          // the calls once the gate opened, sorted
};

const DispatchCase kDispatchCases[] = {
    {"ForcedCheckDoesNotHoldOtherCommands",
     {"DoSecurityCheck", "ShutdownNetwork", "OpenNewUrl"},
     {1, 7, 7},
     {"DoSecurityCheck", "OpenNewUrl", "ShutdownNetwork"}},
    {"OneForcedCheckRunningOneQueuedFurtherAnsweredAtOnce",
     {"DoSecurityCheck", "dosecuritycheck", "DoSecurityCheck", "DoSecurityCheck"},
     {1, 1, 1, 1},
     {"DoSecurityCheck", "dosecuritycheck"}},
    {"FourCommandsInFlightTheFifthRefused",
     {"IpRenew", "IpRenew", "IpRenew", "IpRenew", "IpRenew", "ShowUserOneMsg"},
     {-1, -1, -1, -1, 0, 0},
     {"IpRenew", "IpRenew", "IpRenew", "IpRenew"}},
};

class Dispatch : public RunningCommunicator, public testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, HeldCommandsLeaveTheOthersAnswered) {
    const DispatchCase& c = GetParam();
    Gate::reset({"DoSecurityCheck", "dosecuritycheck", "IpRenew"});
    ASSERT_EQ(1, communicator_->set_callback(&Gate::callback));
    ScriptedPeer server(0, kKey);
    const std::uint32_t first_id = 2000;
    for (std::size_t i = 0; i < c.pushes.size(); ++i) {
        const std::string command = "<TARN><WhatToDo>" + c.pushes[i] + "</WhatToDo></TARN>";
        server.send(communicator_->push_port(),
                    communicate::make_datagrams(
                        Kind::kPush, first_id + static_cast<std::uint32_t>(i), command, kKey));
    }
    std::vector<int> answered(c.pushes.size(), -1);
    const auto gather = [&](std::uint32_t wait_ms) {
        PeerRequest answer;
        while (server.receive(Kind::kPushAnswer, wait_ms, &answer)) {
            int result = -1;
            ASSERT_TRUE(communicate::parse_push_answer(answer.payload.data(), answer.payload.size(),
                                                       &result));
            answered.at(answer.id - first_id) = result;
        }
    };
    gather(2000);
    EXPECT_EQ(c.answered_while_held, answered);

    Gate::release();
    gather(2000);
    std::vector<std::string> ran;
    {
        std::lock_guard<std::mutex> guard(Gate::lock);
        ran = Gate::calls;
    }
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(c.ran, ran);
    for (std::size_t i = 0; i < answered.size(); ++i) EXPECT_NE(-1, answered[i]) << "push " << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, Dispatch, testing::ValuesIn(kDispatchCases),
                         [](const auto& row) { return std::string(row.param.name); });

// The server sends a push again under its id when the answer was lost: the
// copy runs nothing and is answered with the first one's result.
TEST_F(RunningCommunicator, ResentPushAnsweredAgainWithoutRunningTwice) {
    ScriptedPeer server(0, kKey);
    PeerRequest answer;
    for (int send = 0; send < 2; ++send) {
        server.send(communicator_->push_port(), push_datagrams({3000, Tag::kGood}));
        ASSERT_TRUE(server.receive(Kind::kPushAnswer, 10000, &answer)) << "send " << send;
        EXPECT_EQ(3000u, answer.id);
        EXPECT_EQ(kAnswer7, answer.payload);
    }
    EXPECT_EQ(1u, PushLog::taken().size());
}

// --- the local listener ----------------------------------------------------------

TEST_F(RunningCommunicator, LocalRequestWithTheSecretIsAnswered) {
    const XmlDocument request = parse("<TARN><WhatToDo>SwitchUser</WhatToDo></TARN>");
    XmlNode* reply = nullptr;
    ASSERT_EQ(1, communicator_->tcp_exchange("127.0.0.1", communicator_->local_port(),
                                             request.get(), &reply));
    const XmlDocument owned(reply);
    EXPECT_EQ(kAnswer7, communicate::text_form(reply));
    ASSERT_EQ(1u, PushLog::taken().size());
    EXPECT_EQ(communicate::text_form(request.get()), PushLog::taken()[0]);
}

// What a client without the secret, or of the first version, can send: each
// is closed without an answer and runs nothing.
enum class Stranger { kFirstVersionFrame, kHelloThenWrongProof, kHelloThenSilence, kNoise };

struct StrangerCase {
    const char* name;
    Stranger client;
};

const StrangerCase kStrangerCases[] = {
    {"FirstVersionFrameTaggedWithTheSecret", Stranger::kFirstVersionFrame},
    {"HelloThenProofUnderAnotherSecret", Stranger::kHelloThenWrongProof},
    {"HelloThenSilence", Stranger::kHelloThenSilence},
    {"Noise", Stranger::kNoise},
};

class LocalStrangers : public RunningCommunicator,
                       public testing::WithParamInterface<StrangerCase> {};

TEST_P(LocalStrangers, ClosedWithoutAnswer) {
    const std::string text =
        std::string(kHeaderLine) + "<TARN>\r\n\t<WhatToDo>SwitchUser</WhatToDo>\r\n</TARN>\r\n";
    std::string length(4, '\0');
    for (int i = 0; i < 4; ++i) length[i] = static_cast<char>((text.size() >> (8 * i)) & 0xff);
    const std::string hello = std::string("TARL\2\1") + std::string(32, 'n');
    std::string sent;
    switch (GetParam().client) {
        case Stranger::kFirstVersionFrame: {
            // The first version's frame, tagged as its clients tagged it.
            std::string secret;
            ASSERT_TRUE(communicate::read_secret(&secret));
            const unsigned char request = 1;
            os::Sha256Digest digest;
            os::hmac_sha256({secret.data(), secret.size()},
                            {{&request, 1}, {length.data(), 4}, {text.data(), text.size()}},
                            digest);
            sent = length + text + std::string(reinterpret_cast<const char*>(digest.data()), 32);
            break;
        }
        case Stranger::kHelloThenWrongProof:
            sent = hello + "TARL\2\3" + std::string(32, 'p') + length + text + std::string(16, 't');
            break;
        case Stranger::kHelloThenSilence:
            sent = hello;
            break;
        case Stranger::kNoise:
            sent = std::string(64, '\xff');
            break;
    }
    const auto before = communicate::drop_counts().local_refused;
    const os::Socket client = os::tcp_connect({os::kLoopbackIp, communicator_->local_port()}, 5000);
    ASSERT_NE(os::kNoSocket, client);
    ASSERT_TRUE(os::tcp_send_all(client, sent.data(), sent.size(), 5000));
    // Only the listener's challenge may come back (70 bytes), never an answer.
    std::string received;
    char byte = 0;
    while (received.size() < 1000 && os::tcp_receive_all(client, &byte, 1, 15000)) received += byte;
    os::socket_close(client);
    EXPECT_TRUE(received.empty() || received.size() == 70) << received.size();
    EXPECT_TRUE(PushLog::taken().empty());
    EXPECT_EQ(before + 1, communicate::drop_counts().local_refused);
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalStrangers, testing::ValuesIn(kStrangerCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
