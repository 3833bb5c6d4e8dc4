#include "cutil/base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A buffer with guard bytes on both sides: any write outside the usable
// part shows up as a changed canary (ASan catches it natively as well).
class GuardedBuffer {
  public:
    explicit GuardedBuffer(int size)
        : bytes_(static_cast<std::size_t>(size) + 2 * kGuard, kCanary) {}
    char* data() { return bytes_.data() + kGuard; }
    bool guards_intact() const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kCanary || bytes_[bytes_.size() - 1 - i] != kCanary) return false;
        }
        return true;
    }

  private:
    static constexpr std::size_t kGuard = 16;
    static constexpr char kCanary = '\x5A';
    std::vector<char> bytes_;
};

std::string encode(const std::string& input, int size = 256) {
    std::vector<char> out(static_cast<std::size_t>(size), '\x7F');
    const int n =
        cutil_base64_encode(input.data(), static_cast<int>(input.size()), out.data(), size);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(out.data()));
    return std::string(out.data(), static_cast<std::size_t>(n));
}

std::string decode(const std::string& input, int size = 256) {
    std::vector<char> out(static_cast<std::size_t>(size), '\x7F');
    const int n =
        cutil_base64_decode(input.data(), static_cast<int>(input.size()), out.data(), size);
    EXPECT_EQ('\0', out[static_cast<std::size_t>(n)]) << "output not terminated";
    return std::string(out.data(), static_cast<std::size_t>(n));
}

std::string pattern(int length) {
    std::string bytes;
    for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>((i * 73 + 41) & 0xFF));
    return bytes;
}

struct Vector {
    const char* plain;
    const char* encoded;
};

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
    const Vector vectors[] = {
        {"f", "Zg=="},         {"fo", "Zm8="},           {"foo", "Zm9v"},      {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},   {"abc", "YWJj"},      {"ab", "YWI="},
        {"a", "YQ=="},         {"\xff\xfe\xfd", "//79"}, {"\xfb\xef", "++8="},
    };
    for (const Vector& v : vectors) {
        EXPECT_EQ(v.encoded, encode(v.plain)) << v.plain;
        // Padding is decoded as zero bytes and counted: whole groups of three.
        std::string expected = v.plain;
        expected.resize((expected.size() + 2) / 3 * 3, '\0');
        EXPECT_EQ(expected, decode(v.encoded)) << v.encoded;
    }
}

TEST(Base64, DecodingPaddedTextCountsThreeBytesPerGroup) {
    char out[16];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(3, cutil_base64_decode("YWI=", -1, out, sizeof out));
    EXPECT_EQ(0, std::memcmp("ab\0\0", out, 4));
}

TEST(Base64, MinusOneMeansTheTextLength) {
    char out[32];
    EXPECT_EQ(4, cutil_base64_encode("abc", -1, out, sizeof out));
    EXPECT_STREQ("YWJj", out);
    unsigned char bytes[16];
    EXPECT_EQ(3, cutil_base64_decode("YWJj", -1, bytes, sizeof bytes));
    EXPECT_EQ(0, std::memcmp("abc", bytes, 4));
}

TEST(Base64, NullOrZeroArgumentsWriteNothing) {
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(0, cutil_base64_encode("abc", 0, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_encode(nullptr, 3, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_encode("abc", 3, nullptr, 32));
    EXPECT_EQ(0, cutil_base64_encode("abc", 3, out, 0));
    EXPECT_EQ(0, cutil_base64_encode("", -1, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_encode("abc", -5, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_decode("YWJj", 0, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_decode(nullptr, 4, out, sizeof out));
    EXPECT_EQ(0, cutil_base64_decode("YWJj", 4, nullptr, 32));
    EXPECT_EQ(0, cutil_base64_decode("YWJj", 4, out, -1));
    for (char c : out) EXPECT_EQ('x', c);
}

TEST(Base64, RoundTripsEveryLengthWithTheDocumentedBufferSize) {
    for (int n = 1; n <= 200; ++n) {
        const std::string plain = pattern(n);
        const int size = 4 * ((n + 2) / 3) + 9;
        GuardedBuffer encoded(size);
        const int chars = cutil_base64_encode(plain.data(), n, encoded.data(), size);
        ASSERT_EQ(4 * ((n + 2) / 3), chars) << n;
        ASSERT_TRUE(encoded.guards_intact()) << n;
        std::string decoded =
            decode(std::string(encoded.data(), static_cast<std::size_t>(chars)), chars + 8);
        ASSERT_EQ(plain, decoded.substr(0, plain.size())) << n;
        for (std::size_t i = plain.size(); i < decoded.size(); ++i) ASSERT_EQ('\0', decoded[i]);
    }
}

// Every buffer size, down to 1, for every short length: nothing is written
// past the buffer, the output is terminated, and what is written is a prefix
// of the full encoding that ends at a group (never a misplaced padding).
TEST(Base64, SmallEncodeBuffersGiveAWholeGroupPrefix) {
    for (int n = 1; n <= 40; ++n) {
        const std::string plain = pattern(n);
        const std::string full = encode(plain);
        for (int size = 1; size <= static_cast<int>(full.size()) + 12; ++size) {
            GuardedBuffer out(size);
            const int chars = cutil_base64_encode(plain.data(), n, out.data(), size);
            ASSERT_TRUE(out.guards_intact()) << n << " in " << size;
            ASSERT_LT(chars, size);
            ASSERT_EQ('\0', out.data()[chars]);
            ASSERT_EQ(0, chars % 4);
            ASSERT_EQ(full.substr(0, static_cast<std::size_t>(chars)), std::string(out.data()));
            // The rule "fewer than (size - 9) written" before each group.
            if (size >= static_cast<int>(full.size()) + 9) {
                ASSERT_EQ(full.size(), static_cast<std::size_t>(chars));
            }
        }
    }
}

TEST(Base64, SmallDecodeBuffersStopAtAWholeGroup) {
    const std::string plain = pattern(30);
    const std::string text = encode(plain);  // 40 characters, 10 groups
    for (int size = 1; size <= 40; ++size) {
        GuardedBuffer out(size);
        const int bytes = cutil_base64_decode(text.data(), -1, out.data(), size);
        ASSERT_TRUE(out.guards_intact()) << size;
        ASSERT_EQ(0, bytes % 3);
        // Groups continue while fewer than (size - 4) bytes are written.
        const int expected = size <= 4 ? 0 : std::min(30, (size - 5) / 3 * 3 + 3);
        ASSERT_EQ(expected, bytes) << size;
        ASSERT_EQ('\0', out.data()[bytes]);
        ASSERT_EQ(0, std::memcmp(plain.data(), out.data(), static_cast<std::size_t>(bytes)));
    }
}

TEST(Base64, UnpaddedTailDecodesItsWholeBytes) {
    EXPECT_EQ("a", decode("YQ"));
    EXPECT_EQ("ab", decode("YWI"));
    EXPECT_EQ(std::string("abc") + "a", decode("YWJjYQ"));
    EXPECT_EQ("abc", decode("YWJjY"));  // a lone character holds no byte
    EXPECT_EQ("", decode("Y"));
}

TEST(Base64, DecodingReadsNoFurtherThanTheGivenLength) {
    // The length cuts a longer text: only the first group is decoded.
    const std::vector<char> text = {'Y', 'W', 'J', 'j', 'Z', 'm', '9', 'v'};
    char out[16];
    EXPECT_EQ(3, cutil_base64_decode(text.data(), 4, out, sizeof out));
    EXPECT_STREQ("abc", out);
    // An exactly sized input without terminator (ASan sees any overread).
    std::vector<char> exact(text.begin(), text.end());
    EXPECT_EQ(6,
              cutil_base64_decode(exact.data(), static_cast<int>(exact.size()), out, sizeof out));
    EXPECT_STREQ("abcfoo", out);
}

}  // namespace
