// libFuzzer target for the Base64 codec: encoding then decoding gives the
// input back (padding decodes as zero bytes, counted), and no buffer size,
// however small, makes either side write past its buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cutil/base64.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > (1 << 16)) return 0;
    const int n = static_cast<int>(size);
    const int groups = (n + 2) / 3;

    // Round trip with the buffer sizes the codec documents as sufficient.
    std::vector<char> encoded(static_cast<std::size_t>(4 * groups + 9));
    const int characters =
        cutil_base64_encode(data, n, encoded.data(), static_cast<int>(encoded.size()));
    check(characters == 4 * groups, "encoded length");
    check(encoded[static_cast<std::size_t>(characters)] == '\0', "encoding terminated");
    for (int i = 0; i < characters; ++i) {
        check(std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=",
                          encoded[static_cast<std::size_t>(i)]) != nullptr,
              "alphabet");
    }
    std::vector<std::uint8_t> decoded(static_cast<std::size_t>(3 * groups + 5));
    const int bytes = cutil_base64_decode(encoded.data(), characters, decoded.data(),
                                          static_cast<int>(decoded.size()));
    check(bytes == 3 * groups, "decoded length");
    check(std::memcmp(decoded.data(), data, size) == 0, "decoded bytes");
    for (int i = n; i < bytes; ++i)
        check(decoded[static_cast<std::size_t>(i)] == 0, "padding bytes");

    // The input itself as Base64 text, and both directions into buffers of
    // every small size (exact-size heap blocks: an overrun is a sanitizer
    // report).
    const int limit = static_cast<int>(data[0]) % 24 + 1;
    for (int out_size = 1; out_size <= limit; ++out_size) {
        std::vector<std::uint8_t> small(static_cast<std::size_t>(out_size));
        const int got =
            cutil_base64_decode(reinterpret_cast<const char*>(data), n, small.data(), out_size);
        check(got >= 0 && got < out_size, "short decode");
        std::vector<char> text(static_cast<std::size_t>(out_size));
        const int wrote = cutil_base64_encode(data, n, text.data(), out_size);
        check(wrote >= 0 && wrote < out_size && text[static_cast<std::size_t>(wrote)] == '\0',
              "short encode");
        check(std::strncmp(text.data(), encoded.data(), static_cast<std::size_t>(wrote)) == 0,
              "short encode is a prefix");
    }
    return 0;
}
