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

std::string encode(const std::string& input) {
    char out[256];
    const int n =
        cutil_base64_encode(input.data(), static_cast<int>(input.size()), out, sizeof out);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(out));
    return std::string(out, static_cast<std::size_t>(n));
}

// Decodes `length` characters (-1: the text length) and checks the terminator.
std::string decode(const char* input, int length = -1) {
    char out[256];
    std::memset(out, '\x7F', sizeof out);
    const int n = cutil_base64_decode(input, length, out, sizeof out);
    EXPECT_TRUE(n == 0 || out[n] == '\0') << "output not terminated";
    return std::string(out, static_cast<std::size_t>(n));
}

std::string pattern(int length) {
    std::string bytes;
    for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>((i * 73 + 41) & 0xFF));
    return bytes;
}

TEST(Base64, StandardVectorsAndTails) {
    const char* vectors[][2] = {
        {"f", "Zg=="},          {"fo", "Zm8="},           {"foo", "Zm9v"},     {"foob", "Zm9vYg=="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"}, {"\xfb\xef", "++8="}};
    for (const auto& v : vectors) {
        EXPECT_EQ(v[1], encode(v[0])) << v[0];
        // Padding is decoded as zero bytes and counted: whole groups of three.
        std::string expected = v[0];
        expected.resize((expected.size() + 2) / 3 * 3, '\0');
        EXPECT_EQ(expected, decode(v[1])) << v[1];
    }
    // An unpadded tail yields its whole bytes; a lone character holds none.
    EXPECT_EQ("ab", decode("YWI"));
    EXPECT_EQ("abca", decode("YWJjYQ"));
    EXPECT_EQ("abc", decode("YWJjY"));
    EXPECT_EQ("", decode("Y"));
    // The length cuts a longer text, and an unterminated input is read no
    // further than its length (ASan sees any overread).
    const std::vector<char> exact = {'Y', 'W', 'J', 'j', 'Z', 'm', '9', 'v'};
    EXPECT_EQ("abc", decode(exact.data(), 4));
    EXPECT_EQ("abcfoo", decode(exact.data(), 8));
    char out[16];
    EXPECT_EQ(4, cutil_base64_encode("abc", -1, out, sizeof out));
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

// Every length up to 40 in every buffer size down to 1, and lengths up to 200
// in the documented size: nothing is written past the buffer, the output is
// terminated, and it is a prefix of the full encoding that ends at a group
// (never a misplaced padding); the decoding gives the input back.
TEST(Base64, EncodingNeverOverrunsAndGivesWholeGroups) {
    for (int n = 1; n <= 200; ++n) {
        const std::string plain = pattern(n);
        const int full_chars = 4 * ((n + 2) / 3);
        for (int size = n <= 40 ? 1 : full_chars + 9; size <= full_chars + 12; ++size) {
            GuardedBuffer out(size);
            const int chars = cutil_base64_encode(plain.data(), n, out.data(), size);
            ASSERT_TRUE(out.guards_intact()) << n << " in " << size;
            ASSERT_LT(chars, size);
            ASSERT_EQ('\0', out.data()[chars]);
            ASSERT_EQ(0, chars % 4);
            // Groups continue while fewer than (size - 9) characters are written.
            if (size >= full_chars + 9) {
                ASSERT_EQ(full_chars, chars) << n << " in " << size;
            }
            std::string expected = plain.substr(0, static_cast<std::size_t>(chars / 4 * 3));
            expected.resize(static_cast<std::size_t>(chars / 4 * 3), '\0');
            ASSERT_EQ(expected, decode(out.data(), chars)) << n << " in " << size;
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
        // Groups continue while fewer than (size - 4) bytes are written.
        const int expected = size <= 4 ? 0 : std::min(30, (size - 5) / 3 * 3 + 3);
        ASSERT_EQ(expected, bytes) << size;
        ASSERT_EQ('\0', out.data()[bytes]);
        ASSERT_EQ(0, std::memcmp(plain.data(), out.data(), static_cast<std::size_t>(bytes)));
    }
}

}  // namespace
