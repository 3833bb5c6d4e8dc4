// AES-256-GCM of the platform against the published test case with a 256-bit
// key, and every byte it authenticates: a backend that ignored the
// additional data, the nonce or the tag would open what it must refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "os/crypto.h"

namespace {

std::string bytes(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

const std::string kKey = bytes("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308");
const std::string kNonce = bytes("cafebabefacedbaddecaf888");
const std::string kAad = bytes("feedfacedeadbeeffeedfacedeadbeefabaddad2");
const std::string kPlain = bytes(
    "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6"
    "b525b16aedf5aa0de657ba637b39");
const std::string kSealed = bytes(
    "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b105682"
    "8838c5f61e6393ba7a0abcc9f662"
    "76fc6ece0f4e1768cddf8853bb2d551b");

const auto* u8(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

TEST(CryptoAead, SealsAndOpensThePublishedCase) {
    std::string sealed;
    ASSERT_TRUE(os::aead_seal(u8(kKey), u8(kNonce), {kAad.data(), kAad.size()},
                              {kPlain.data(), kPlain.size()}, &sealed));
    EXPECT_EQ(kSealed, sealed);
    std::string plain;
    ASSERT_TRUE(os::aead_open(u8(kKey), u8(kNonce), {kAad.data(), kAad.size()},
                              {kSealed.data(), kSealed.size()}, &plain));
    EXPECT_EQ(kPlain, plain);
    // Nothing to seal still gives a tag that opens to nothing.
    ASSERT_TRUE(os::aead_seal(u8(kKey), u8(kNonce), {nullptr, 0}, {nullptr, 0}, &sealed));
    EXPECT_EQ(os::kAeadTagSize, sealed.size());
    EXPECT_TRUE(
        os::aead_open(u8(kKey), u8(kNonce), {nullptr, 0}, {sealed.data(), sealed.size()}, &plain));
    EXPECT_TRUE(plain.empty());
}

TEST(CryptoAead, AnyChangedByteIsRefused) {
    struct Change {
        const char* name;
        std::string key, nonce, aad, sealed;
    };
    auto flip = [](std::string text, std::size_t at) {
        text[at] = static_cast<char>(text[at] ^ 1);
        return text;
    };
    const std::vector<Change> changes = {
        {"key", flip(kKey, 31), kNonce, kAad, kSealed},
        {"nonce", kKey, flip(kNonce, 11), kAad, kSealed},
        {"additional data", kKey, kNonce, flip(kAad, 0), kSealed},
        {"cipher text", kKey, kNonce, kAad, flip(kSealed, 5)},
        {"tag", kKey, kNonce, kAad, flip(kSealed, kSealed.size() - 1)},
        {"shorter than a tag", kKey, kNonce, kAad, kSealed.substr(0, os::kAeadTagSize - 1)},
    };
    for (const Change& change : changes) {
        std::string plain = "left over";
        EXPECT_FALSE(os::aead_open(u8(change.key), u8(change.nonce),
                                   {change.aad.data(), change.aad.size()},
                                   {change.sealed.data(), change.sealed.size()}, &plain))
            << change.name;
        EXPECT_TRUE(plain.empty()) << change.name;
    }
}

}  // namespace
