// The cryptography seam against published answers: a backend that hashed the
// wrong bytes, dropped a part or mishandled the key would fail here.
#include "os/crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hex(const os::Sha256Digest& digest) {
    return os::digest_hex(digest);
}

TEST(Crypto, Sha256OfJoinedPartsMatchesTheStandardAnswers) {
    os::Sha256Digest digest{};
    ASSERT_TRUE(os::sha256({{"", 0}}, digest));
    EXPECT_EQ(hex(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    ASSERT_TRUE(os::sha256({{"a", 1}, {"", 0}, {"bc", 2}}, digest));
    EXPECT_EQ(hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Crypto, HmacSha256MatchesTheStandardAnswers) {
    os::Sha256Digest tag{};
    // Key shorter than the block, data in two parts.
    ASSERT_TRUE(
        os::hmac_sha256({"Jefe", 4}, {{"what do ya want ", 16}, {"for nothing?", 12}}, tag));
    EXPECT_EQ(hex(tag), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // Key longer than the block is hashed first.
    const std::string long_key(131, '\xaa');
    const std::string data = "Test Using Larger Than Block-Size Key - Hash Key First";
    ASSERT_TRUE(
        os::hmac_sha256({long_key.data(), long_key.size()}, {{data.data(), data.size()}}, tag));
    EXPECT_EQ(hex(tag), "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    // An empty key is a key too.
    ASSERT_TRUE(os::hmac_sha256({nullptr, 0}, {{"", 0}}, tag));
    EXPECT_EQ(hex(tag), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

TEST(Crypto, RandomBytesDifferAndTagsCompareWhole) {
    unsigned char first[32] = {}, second[32] = {};
    ASSERT_TRUE(os::random_bytes(first, sizeof first));
    ASSERT_TRUE(os::random_bytes(second, sizeof second));
    EXPECT_FALSE(os::tags_equal(first, second, sizeof first));
    second[31] = first[31];
    std::copy(first, first + 31, second);
    EXPECT_TRUE(os::tags_equal(first, second, sizeof first));
    second[31] ^= 1;
    EXPECT_FALSE(os::tags_equal(first, second, sizeof first));
}

}  // namespace
