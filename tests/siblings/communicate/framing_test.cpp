// The datagram framing, byte for byte, and the rules a receiver applies:
// which datagrams it reads, how fragments join, which push ids are fresh.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "os/crypto.h"
#include "os/data_protection.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"
#include "siblings/QuarnAssCommunicate/replay_window.h"
#include "tests/fakes/assistant_home.h"

namespace {

using namespace communicate;

// The layout written out by hand: magic, version 1, kind, flags, id, index,
// count, total (little-endian), the fragment, the tag over header and fragment.
std::string by_hand(std::uint8_t kind, std::uint16_t flags, std::uint32_t id, std::uint16_t index,
                    std::uint16_t count, std::uint32_t total, const std::string& fragment,
                    const std::string& key = "") {
    std::string d = "TARN";
    d += static_cast<char>(1);
    d += static_cast<char>(kind);
    auto le = [&d](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) d += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    le(flags, 2), le(id, 4), le(index, 2), le(count, 2), le(total, 4);
    const std::string header = d;
    d += fragment;
    if (!key.empty()) {
        os::Sha256Digest tag;
        os::hmac_sha256({key.data(), key.size()},
                        {{header.data(), 20}, {fragment.data(), fragment.size()}}, tag);
        d.append(reinterpret_cast<const char*>(tag.data()), tag.size());
    }
    return d;
}

TEST(DatagramLayout, FragmentsAndTagsAsTheWireFormatSays) {
    const std::string payload(kMaxFragmentSize + 5, 'p');
    const auto plain = make_datagrams(Kind::kPush, 0x01020304, payload, "");
    ASSERT_EQ(2u, plain.size());
    EXPECT_EQ(by_hand(3, 0, 0x01020304, 0, 2, 60005, payload.substr(0, 60000)), plain[0]);
    EXPECT_EQ(by_hand(3, 0, 0x01020304, 1, 2, 60005, "ppppp"), plain[1]);
    const auto tagged = make_datagrams(Kind::kReply, 9, "abc", "k3y");
    ASSERT_EQ(1u, tagged.size());
    EXPECT_EQ(by_hand(2, 1, 9, 0, 1, 3, "abc", "k3y"), tagged[0]);
    EXPECT_EQ(1u, make_datagrams(Kind::kRequest, 1, "", "").size());
    EXPECT_EQ(18u, make_datagrams(Kind::kRequest, 1, std::string(kMaxPayload, 'x'), "").size());
    EXPECT_TRUE(make_datagrams(Kind::kRequest, 1, std::string(kMaxPayload + 1, 'x'), "").empty());
}

// A keyed push as the wire format says: flags 3, the body a fresh 12-byte
// nonce, the AES-256-GCM cipher text and tag under HMAC-SHA256(key,
// "QuarnPushSeal\n"), the header (index 0) as associated data.
TEST(DatagramLayout, KeyedPushTravelsSealed) {
    const std::string plain = "<TARN><Password>Quarn@123</Password></TARN>";
    const auto sealed = make_datagrams(Kind::kPush, 7, plain, "k3y");
    ASSERT_EQ(1u, sealed.size());
    const std::size_t total = plain.size() + 28;
    ASSERT_EQ(20 + total + 32, sealed[0].size());
    const std::string body = sealed[0].substr(20, total);
    EXPECT_EQ(by_hand(3, 3, 7, 0, 1, static_cast<std::uint32_t>(total), body, "k3y"), sealed[0]);
    EXPECT_EQ(std::string::npos, sealed[0].find("Quarn@123"));
    EXPECT_NE(body, make_datagrams(Kind::kPush, 7, plain, "k3y")[0].substr(20, total));

    const char label[] = "QuarnPushSeal\n";
    os::Sha256Digest seal_key;
    ASSERT_TRUE(os::hmac_sha256({"k3y", 3}, {{label, sizeof label - 1}}, seal_key));
    std::string opened;
    ASSERT_TRUE(os::aead_open(seal_key.data(), reinterpret_cast<const std::uint8_t*>(body.data()),
                              {sealed[0].data(), 20}, {body.data() + 12, body.size() - 12},
                              &opened));
    EXPECT_EQ(plain, opened);
    // Answers, requests and replies stay as they were: tagged, not sealed.
    EXPECT_EQ(by_hand(4, 1, 7, 0, 1, 3, "abc", "k3y"),
              make_datagrams(Kind::kPushAnswer, 7, "abc", "k3y")[0]);
    EXPECT_TRUE(make_datagrams(Kind::kPush, 7, std::string(kMaxPayload - 27, 'x'), "k").empty());
    EXPECT_EQ(18u, make_datagrams(Kind::kPush, 7, std::string(kMaxPayload - 28, 'x'), "k").size());
}

struct OpenCase {
    const char* name;
    const char* key;
    bool unsealed_ok;
    std::uint16_t flags;  // the received header's
    std::uint32_t id;     // the received header's; sealed for id 7
    bool changed;         // a byte of the cipher text changed
    Opened opened;
};

const OpenCase kOpenCases[] = {
    {"Sealed", "k", false, 3, 7, false, Opened::kOpened},
    {"CipherTextChanged", "k", false, 3, 7, true, Opened::kBroken},
    {"MovedToAnotherId", "k", false, 3, 8, false, Opened::kBroken},
    {"OtherDevicesKey", "j", false, 3, 7, false, Opened::kBroken},
    {"SealedButNoKey", "", true, 3, 7, false, Opened::kBroken},
    {"UnsealedUnderKey", "k", false, 1, 7, false, Opened::kUnsealed},
    {"UnsealedDowngraded", "k", true, 1, 7, false, Opened::kOpened},
    {"UnsealedWithoutKey", "", true, 0, 7, false, Opened::kOpened},
};

class OpenPush : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenPush, OpensOnlyTheBodySealedForItsHeader) {
    const OpenCase& c = GetParam();
    // Two fragments: the header handed over is the last one's (index 1).
    const std::string plain =
        "<TARN><Data>" + std::string(kMaxFragmentSize, 'x') + "</Data></TARN>";
    std::string body = plain;
    if ((c.flags & kFlagSealed) != 0) {
        ASSERT_TRUE(seal_push("k", 7, plain, &body));
    }
    if (c.changed) body[20] ^= 1;
    Header header;
    header.kind = Kind::kPush;
    header.flags = c.flags;
    header.id = c.id;
    header.index = 1;
    header.count = 2;
    header.total = static_cast<std::uint32_t>(body.size());
    std::string text;
    EXPECT_EQ(c.opened, open_push(c.key, c.unsealed_ok, header, body, &text));
    EXPECT_EQ(c.opened == Opened::kOpened ? plain : "", text);
}

INSTANTIATE_TEST_SUITE_P(Rows, OpenPush, testing::ValuesIn(kOpenCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct ReadCase {
    const char* name;
    std::string datagram;
    const char* key;
    Verdict verdict;
};

const ReadCase kReadCases[] = {
    {"Plain", by_hand(3, 0, 1, 0, 1, 2, "ab"), "", Verdict::kAccepted},
    {"TaggedWithoutKeyStripped", by_hand(3, 1, 1, 0, 1, 2, "ab", "k"), "", Verdict::kAccepted},
    {"Tagged", by_hand(3, 1, 1, 0, 1, 2, "ab", "k"), "k", Verdict::kAccepted},
    {"UntaggedUnderKey", by_hand(3, 0, 1, 0, 1, 2, "ab"), "k", Verdict::kUntagged},
    {"OtherKey", by_hand(3, 1, 1, 0, 1, 2, "ab", "j"), "k", Verdict::kBadTag},
    {"TagClaimedButMissing", by_hand(3, 1, 1, 0, 1, 2, "ab"), "k", Verdict::kMalformed},
    {"WrongMagic", "TARX" + by_hand(3, 0, 1, 0, 1, 2, "ab").substr(4), "", Verdict::kMalformed},
    {"WrongVersion", by_hand(3, 0, 1, 0, 1, 2, "ab").replace(4, 1, 1, '\2'), "",
     Verdict::kMalformed},
    {"KindZero", by_hand(0, 0, 1, 0, 1, 2, "ab"), "", Verdict::kMalformed},
    {"KindFive", by_hand(5, 0, 1, 0, 1, 2, "ab"), "", Verdict::kMalformed},
    {"ShortHeader", by_hand(3, 0, 1, 0, 1, 0, "").substr(0, 19), "", Verdict::kMalformed},
    {"CountZero", by_hand(3, 0, 1, 0, 0, 2, "ab"), "", Verdict::kMalformed},
    {"IndexPastCount", by_hand(3, 0, 1, 2, 2, 4, "ab"), "", Verdict::kMalformed},
    {"TooManyFragments", by_hand(3, 0, 1, 0, 65, 2, "ab"), "", Verdict::kMalformed},
    {"TotalOverCap", by_hand(3, 0, 1, 0, 18, kMaxPayload + 1, "ab"), "", Verdict::kMalformed},
    {"FragmentOverTotal", by_hand(3, 0, 1, 0, 1, 1, "ab"), "", Verdict::kMalformed},
    {"FragmentOverMax", by_hand(3, 0, 1, 0, 2, 70000, std::string(60001, 'f')), "",
     Verdict::kMalformed},
};

class ReadDatagram : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadDatagram, AcceptsOnlyWhatTheFramingAllows) {
    const ReadCase& c = GetParam();
    Fragment fragment;
    EXPECT_EQ(c.verdict, read_datagram(c.datagram.data(), c.datagram.size(), c.key, &fragment));
    if (c.verdict == Verdict::kAccepted) {
        EXPECT_EQ("ab", std::string(fragment.data, fragment.size));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReadDatagram, testing::ValuesIn(kReadCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct JoinCase {
    const char* name;
    std::vector<std::string> datagrams;  // of message id 5 unless stated
    std::string payload;                 // "": never complete
};

const JoinCase kJoinCases[] = {
    {"InOrder", {by_hand(3, 0, 5, 0, 2, 4, "ab"), by_hand(3, 0, 5, 1, 2, 4, "cd")}, "abcd"},
    {"OutOfOrder", {by_hand(3, 0, 5, 1, 2, 4, "cd"), by_hand(3, 0, 5, 0, 2, 4, "ab")}, "abcd"},
    {"DuplicateIgnored",
     {by_hand(3, 0, 5, 0, 3, 5, "ab"), by_hand(3, 0, 5, 0, 3, 5, "XY"),
      by_hand(3, 0, 5, 2, 3, 5, "e"), by_hand(3, 0, 5, 1, 3, 5, "cd")},
     "abcde"},
    {"StrayOfOtherMessageIgnored",
     {by_hand(3, 0, 5, 0, 2, 4, "ab"), by_hand(3, 0, 6, 1, 2, 4, "zz"),
      by_hand(2, 0, 5, 1, 2, 4, "zz"), by_hand(3, 0, 5, 1, 3, 4, "zz"),
      by_hand(3, 0, 5, 1, 2, 4, "cd")},
     "abcd"},
    {"SizesShortOfTotal", {by_hand(3, 0, 5, 0, 2, 9, "ab"), by_hand(3, 0, 5, 1, 2, 9, "cd")}, ""},
    {"SizesOverTotal", {by_hand(3, 0, 5, 0, 2, 3, "ab"), by_hand(3, 0, 5, 1, 2, 3, "cd")}, ""},
};

class JoinFragments : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinFragments, GathersOneMessage) {
    const JoinCase& c = GetParam();
    std::unique_ptr<Reassembly> message;
    std::string payload;
    for (const std::string& d : c.datagrams) {
        Fragment fragment;
        ASSERT_EQ(Verdict::kAccepted, read_datagram(d.data(), d.size(), "", &fragment));
        if (!message) message = std::make_unique<Reassembly>(fragment.header);
        if (message->add(fragment) == Reassembly::Step::kComplete) payload = message->take();
    }
    EXPECT_EQ(c.payload, payload);
}

INSTANTIATE_TEST_SUITE_P(Rows, JoinFragments, testing::ValuesIn(kJoinCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct WindowCase {
    const char* name;
    std::vector<std::uint32_t> ids;
    std::vector<bool> taken;
};

const WindowCase kWindowCases[] = {
    {"FirstTakenBelowTheBound", {1700000000u}, {true}},
    // One id far above the clock and the highest would silence every later push.
    {"PoisonRefused", {100, 0xffffffffu, 101}, {true, false, true}},
    {"FirstPoisonRefused", {0xffffffffu, 5}, {false, true}},
    {"Duplicate", {100, 100}, {true, false}},
    {"LateButInsideWindow", {100, 99, 37, 99}, {true, true, true, false}},
    {"OlderThanWindow", {100, 36}, {true, false}},
    {"SlidesUp", {100, 200, 136, 137, 100}, {true, true, false, true, false}},
    {"ServerRestartSeededFromClock", {5000, 5001, 9000000}, {true, true, true}},
};

class ReplayWindowRows : public testing::TestWithParam<WindowCase> {};

TEST_P(ReplayWindowRows, TakesEachFreshIdOnce) {
    ReplayWindow window{""};
    std::vector<bool> taken;
    for (std::uint32_t id : GetParam().ids) taken.push_back(window.take(id));
    EXPECT_EQ(GetParam().taken, taken);
}

INSTANTIATE_TEST_SUITE_P(Rows, ReplayWindowRows, testing::ValuesIn(kWindowCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ReplayWindowFile, APushTakenBeforeARestartIsAReplayAfterIt) {
    const std::uint32_t now = static_cast<std::uint32_t>(std::time(nullptr));
    const quarn::test::AssistantHome home;
    const std::string path = home.path("window");
    {
        ReplayWindow before(path);
        EXPECT_TRUE(before.take(now));
        EXPECT_TRUE(before.take(now - 10));
    }
    ReplayWindow after(path);
    EXPECT_FALSE(after.take(now));
    EXPECT_FALSE(after.take(now - 10));
    EXPECT_FALSE(after.take(now - ReplayWindow::kSize));
    EXPECT_TRUE(after.take(now - 11));
    // The bound follows the clock: a day ahead is taken, beyond it is not.
    EXPECT_FALSE(after.take(now + ReplayWindow::kMaxAhead + 120));
    EXPECT_TRUE(after.take(now + ReplayWindow::kMaxAhead - 120));
    // A damaged file starts an empty window rather than failing every push.
    ASSERT_TRUE(os::file_replace_durably(path.c_str(), "QRW1 short", 10));
    EXPECT_TRUE(ReplayWindow(path).take(now));
    // The module's own window finds its file in the assistant directory.
    EXPECT_TRUE(ReplayWindow().take(now));
    EXPECT_FALSE(ReplayWindow().take(now));
}

}  // namespace
