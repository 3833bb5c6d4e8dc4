// Pushes under a key (tags and freshness) and the local listener's frames,
// against a running Communicator with a recording callback.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/crypto.h"
#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/drop_log.h"
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

enum class Tag { kGood, kNone, kWrong };

struct Push {
    std::uint32_t id;
    Tag tag;
};

std::vector<std::string> push_datagrams(const Push& push) {
    const std::string command =
        "<TARN><WhatToDo>IpRenew</WhatToDo><N>" + std::to_string(push.id) + "</N></TARN>";
    auto datagrams = communicate::make_datagrams(Kind::kPush, push.id, command,
                                                 push.tag == Tag::kNone ? "" : kKey);
    if (push.tag == Tag::kWrong) datagrams[0].back() ^= 1;
    return datagrams;
}

struct PushCase {
    const char* name;
    std::vector<Push> pushes;             // sent before a fresh probe (id 5000)
    std::vector<std::uint32_t> answered;  // ids answered, the probe's included
};

const PushCase kPushCases[] = {
    {"FreshAnswered", {{1000, Tag::kGood}}, {1000, 5000}},
    {"UntaggedDropped", {{1000, Tag::kNone}}, {5000}},
    {"WronglyTaggedDropped", {{1000, Tag::kWrong}}, {5000}},
    {"ReplayDropped", {{1000, Tag::kGood}, {1000, Tag::kGood}}, {1000, 5000}},
    {"OlderThanWindowDropped", {{1000, Tag::kGood}, {936, Tag::kGood}}, {1000, 5000}},
    {"LateInsideWindowAnswered", {{1000, Tag::kGood}, {937, Tag::kGood}}, {1000, 937, 5000}},
};

class KeyedPushes : public RunningCommunicator, public testing::WithParamInterface<PushCase> {};

TEST_P(KeyedPushes, OnlyFreshTaggedPushesReachTheCallback) {
    ScriptedPeer server(0, kKey);
    for (const Push& push : GetParam().pushes)
        server.send(communicator_->push_port(), push_datagrams(push));
    server.send(communicator_->push_port(), push_datagrams({5000, Tag::kGood}));

    std::vector<std::uint32_t> answered;
    PeerRequest answer;
    while (server.receive(Kind::kPushAnswer, 10000, &answer)) {
        answered.push_back(answer.id);
        EXPECT_EQ(kAnswer7, answer.payload);
        if (answer.id == 5000) break;
    }
    EXPECT_EQ(GetParam().answered, answered);
    const auto handed = PushLog::taken();
    ASSERT_EQ(answered.size(), handed.size());
    for (std::size_t i = 0; i < handed.size(); ++i) {
        EXPECT_NE(std::string::npos, handed[i].find("<N>" + std::to_string(answered[i]) + "</N>"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, KeyedPushes, testing::ValuesIn(kPushCases),
                         [](const auto& row) { return std::string(row.param.name); });

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

struct FrameCase {
    const char* name;
    std::string tag;  // what follows the text
};

const FrameCase kFrameCases[] = {
    {"NoTag", ""},
    {"ZeroTag", std::string(32, '\0')},
    {"TagUnderAnotherSecret", "computed"},
};

class LocalFrames : public RunningCommunicator, public testing::WithParamInterface<FrameCase> {};

TEST_P(LocalFrames, WithoutAValidTagClosedWithoutAnswer) {
    const std::string text =
        std::string(kHeaderLine) + "<TARN>\r\n\t<WhatToDo>SwitchUser</WhatToDo>\r\n</TARN>\r\n";
    std::string frame(4, '\0');
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((text.size() >> (8 * i)) & 0xff);
    frame += text;
    std::string tag = GetParam().tag;
    if (tag == "computed") {
        const std::string other(32, 'o');
        const unsigned char request = 1;
        os::Sha256Digest digest;
        os::hmac_sha256({other.data(), other.size()}, {{&request, 1}, {frame.data(), frame.size()}},
                        digest);
        tag.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
    }
    frame += tag;
    const auto before = communicate::drop_counts().local_refused;
    const os::Socket client = os::tcp_connect({os::kLoopbackIp, communicator_->local_port()}, 5000);
    ASSERT_NE(os::kNoSocket, client);
    ASSERT_TRUE(os::tcp_send_all(client, frame.data(), frame.size(), 5000));
    char byte = 0;
    EXPECT_FALSE(os::tcp_receive_all(client, &byte, 1, 15000));  // closed, nothing sent
    os::socket_close(client);
    EXPECT_TRUE(PushLog::taken().empty());
    EXPECT_EQ(before + 1, communicate::drop_counts().local_refused);
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalFrames, testing::ValuesIn(kFrameCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
