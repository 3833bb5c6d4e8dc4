// The store file read strictly: each kind of damage is told apart, and only a
// file of the format with a consistent, untouched body opens.
#include "siblings/QuarnAssConfigMgr/store_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "os/crypto.h"

namespace {

using config_store::DecodeResult;

std::string le(std::uint64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    return out;
}

std::string entry(const std::string& key, const std::string& value) {
    return le(key.size(), 4) + le(value.size(), 4) + key + value;
}

// generation | count | entries, then its SHA-256.
std::string body(std::uint64_t generation, std::uint32_t count, const std::string& entries) {
    std::string out = le(generation, 8) + le(count, 4) + entries;
    os::Sha256Digest digest{};
    os::sha256({{out.data(), out.size()}}, digest);
    return out + std::string(digest.begin(), digest.end());
}

// An unsealed file (flags 0), which every platform reads.
std::string file(const std::string& body, std::uint32_t format = 1, std::uint32_t flags = 0,
                 std::int64_t extra_length = 0, const char* magic = "QCFG") {
    return magic + le(format, 4) + le(5, 8) + le(flags, 4) +
           le(static_cast<std::uint32_t>(body.size() + extra_length), 4) + body;
}

TEST(StoreFormat, EachDamageIsToldApart) {
    const std::string two = entry("A", "1") + entry("B", "");
    const std::string good = body(5, 2, two);
    std::string tampered = good;
    tampered[13] ^= 0x01;
    struct Row {
        std::string bytes;
        DecodeResult expected;
    };
    const Row rows[] = {
        {file(good), DecodeResult::kOk},
        {file(good, 1, 0, 0, "QCFH"), DecodeResult::kNotAStore},
        {file(good, 2), DecodeResult::kNotAStore},
        {file(good, 0), DecodeResult::kNotAStore},
        {file(good, 1, 2), DecodeResult::kNotAStore},
        {"QCF", DecodeResult::kTruncated},
        {file(good).substr(0, 23), DecodeResult::kTruncated},
        {file(good, 1, 0, 1), DecodeResult::kTruncated},
        {file(good, 1, 0, -1), DecodeResult::kDamaged},
        {file(tampered), DecodeResult::kDamaged},
        {file(good.substr(0, 43)), DecodeResult::kTruncated},
        {file(body(6, 2, two)), DecodeResult::kDamaged},
        {file(body(5, 3, two)), DecodeResult::kDamaged},
        {file(body(5, 0xFFFFFFFF, two)), DecodeResult::kDamaged},
        {file(body(5, 2, entry("B", "") + entry("A", "1"))), DecodeResult::kDamaged},
        {file(body(5, 2, entry("A", "1") + entry("A", "2"))), DecodeResult::kDamaged},
        {file(body(5, 1, two)), DecodeResult::kDamaged},  // bytes after the entries
        {file(body(5, 2, entry("A", "1") + le(1, 4) + le(9, 4) + "B")), DecodeResult::kDamaged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        config_store::StoreImage image;
        EXPECT_EQ(row.expected, config_store::decode_store(row.bytes, &image));
    }
    config_store::StoreImage image;
    ASSERT_EQ(DecodeResult::kOk, config_store::decode_store(file(good), &image));
    EXPECT_EQ(5u, image.generation);
    EXPECT_EQ((config_store::Values{{"A", "1"}, {"B", ""}}), image.values);
    // The least a store holds: no entry, or one of empty key and value.
    ASSERT_EQ(DecodeResult::kOk, config_store::decode_store(file(body(5, 0, "")), &image));
    EXPECT_TRUE(image.values.empty());
    ASSERT_EQ(DecodeResult::kOk,
              config_store::decode_store(file(body(5, 1, entry("", ""))), &image));
    EXPECT_EQ((config_store::Values{{"", ""}}), image.values);
}

TEST(StoreFormat, WrittenFileOpensAndNamesItsGeneration) {
    const config_store::StoreImage written{0x0102030405060708u, {{"DeviceId", "42"}, {"K", ""}}};
    std::string bytes;
    ASSERT_TRUE(config_store::encode_store(written, &bytes));
    config_store::StoreImage read;
    ASSERT_EQ(DecodeResult::kOk, config_store::decode_store(bytes, &read));
    EXPECT_EQ(written.generation, read.generation);
    EXPECT_EQ(written.values, read.values);
    std::uint64_t generation = 0;
    EXPECT_TRUE(
        config_store::peek_generation(bytes.data(), config_store::kHeaderSize, &generation));
    EXPECT_EQ(written.generation, generation);
    EXPECT_FALSE(
        config_store::peek_generation(bytes.data(), config_store::kHeaderSize - 1, &generation));
    for (const std::string& other : {file("", 2), file("", 1, 0, 0, "QCFH")}) {
        EXPECT_FALSE(config_store::peek_generation(other.data(), other.size(), &generation));
    }
    // A value over the cap is refused before anything is sealed.
    const std::string huge(config_store::kMaxBodyBytes + 1, 'x');
    EXPECT_FALSE(config_store::encode_store({1, {{"K", huge}}}, &bytes));
}

}  // namespace
