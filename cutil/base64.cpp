#include "cutil/base64.h"

#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// "=" decodes as 0 like "A": padded positions become zero bits.
unsigned decode_char(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return 0;
    return 255;
}

// -1 stands for the text length; any other negative length is refused.
int resolve_length(const char* input, int length) {
    if (length != -1) return length;
    const std::size_t text_length = std::strlen(input);
    return text_length > 0x7FFFFFFF ? 0 : static_cast<int>(text_length);
}

}  // namespace

int cutil_base64_encode(const void* input, int length, char* output, int output_size) {
    if (input == nullptr || output == nullptr || output_size <= 0) return 0;
    length = resolve_length(static_cast<const char*>(input), length);
    if (length <= 0) return 0;

    const unsigned char* in = static_cast<const unsigned char*>(input);
    const int whole = length / 3 * 3;
    int read = 0;
    int written = 0;
    while (read < whole && written < output_size - 9) {
        const unsigned group = (in[read] << 16) | (in[read + 1] << 8) | in[read + 2];
        output[written++] = kAlphabet[(group >> 18) & 0x3F];
        output[written++] = kAlphabet[(group >> 12) & 0x3F];
        output[written++] = kAlphabet[(group >> 6) & 0x3F];
        output[written++] = kAlphabet[group & 0x3F];
        read += 3;
    }
    // The padded tail belongs after the last group only: when the buffer
    // stopped the groups early the output ends at the last whole group.
    const int remainder = length - whole;
    if (read == whole && remainder > 0 && written + 4 < output_size) {
        const unsigned first = in[read];
        const unsigned second = remainder == 2 ? in[read + 1] : 0u;
        output[written++] = kAlphabet[first >> 2];
        output[written++] = kAlphabet[((first & 0x03) << 4) | (second >> 4)];
        output[written++] = remainder == 2 ? kAlphabet[(second & 0x0F) << 2] : '=';
        output[written++] = '=';
    }
    output[written] = '\0';
    return written;
}

int cutil_base64_decode(const char* input, int length, void* output, int output_size) {
    if (input == nullptr || output == nullptr || output_size <= 0) return 0;
    length = resolve_length(input, length);
    if (length <= 0) return 0;

    const unsigned char* in = reinterpret_cast<const unsigned char*>(input);
    unsigned char* out = static_cast<unsigned char*>(output);
    int read = 0;
    int written = 0;
    while (length - read >= 4 && written < output_size - 4) {
        const unsigned c0 = decode_char(in[read]);
        const unsigned c1 = decode_char(in[read + 1]);
        const unsigned c2 = decode_char(in[read + 2]);
        const unsigned c3 = decode_char(in[read + 3]);
        out[written++] = static_cast<unsigned char>((c0 << 2) | (c1 >> 4));
        out[written++] = static_cast<unsigned char>((c1 << 4) | (c2 >> 2));
        out[written++] = static_cast<unsigned char>((c2 << 6) | c3);
        read += 4;
    }
    // An unpadded tail of two or three characters carries one or two whole
    // bytes; a single character carries none.
    const int tail = length - read;
    if (tail >= 2 && tail <= 3 && written < output_size - 4) {
        const unsigned c0 = decode_char(in[read]);
        const unsigned c1 = decode_char(in[read + 1]);
        out[written++] = static_cast<unsigned char>((c0 << 2) | (c1 >> 4));
        if (tail == 3) {
            const unsigned c2 = decode_char(in[read + 2]);
            out[written++] = static_cast<unsigned char>((c1 << 4) | (c2 >> 2));
        }
    }
    out[written] = '\0';
    return written;
}
