#include "siblings/QuarnAssCommunicate/datagram.h"

#include <cstring>

#include "os/crypto.h"
#include "siblings/QuarnAssCommunicate/push_seal.h"

namespace communicate {
namespace {

constexpr char kMagic[4] = {'T', 'A', 'R', 'N'};
constexpr std::uint8_t kVersion = 1;

void put16(char* at, std::uint16_t value) {
    at[0] = static_cast<char>(value & 0xff);
    at[1] = static_cast<char>(value >> 8);
}
void put32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}
std::uint16_t get16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
std::uint32_t get32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

bool tag_of(const std::string& key, const void* header, const void* fragment, std::size_t size,
            os::Sha256Digest& tag) {
    return os::hmac_sha256({key.data(), key.size()}, {{header, kHeaderSize}, {fragment, size}},
                           tag);
}

}  // namespace

std::uint16_t fragment_count(std::size_t size) {
    return static_cast<std::uint16_t>(size == 0 ? 1
                                                : (size + kMaxFragmentSize - 1) / kMaxFragmentSize);
}

std::string header_bytes(const Header& header) {
    std::string bytes(kHeaderSize, '\0');
    std::memcpy(&bytes[0], kMagic, sizeof kMagic);
    bytes[4] = static_cast<char>(kVersion);
    bytes[5] = static_cast<char>(header.kind);
    put16(&bytes[6], header.flags);
    put32(&bytes[8], header.id);
    put16(&bytes[12], header.index);
    put16(&bytes[14], header.count);
    put32(&bytes[16], header.total);
    return bytes;
}

std::vector<std::string> frame_datagrams(Kind kind, std::uint16_t flags, std::uint32_t id,
                                         const std::string& body, const std::string& key) {
    std::vector<std::string> datagrams;
    if (body.size() > kMaxPayload) return datagrams;
    Header header;
    header.kind = kind;
    header.flags = static_cast<std::uint16_t>(flags | (key.empty() ? 0 : kFlagTagged));
    header.id = id;
    header.count = fragment_count(body.size());
    header.total = static_cast<std::uint32_t>(body.size());
    for (std::size_t index = 0; index < header.count; ++index) {
        const std::size_t offset = index * kMaxFragmentSize;
        const std::size_t size =
            body.size() - offset < kMaxFragmentSize ? body.size() - offset : kMaxFragmentSize;
        header.index = static_cast<std::uint16_t>(index);
        std::string datagram = header_bytes(header);
        datagram.append(body, offset, size);
        if (!key.empty()) {
            os::Sha256Digest tag;
            if (!tag_of(key, datagram.data(), datagram.data() + kHeaderSize, size, tag)) return {};
            datagram.append(reinterpret_cast<const char*>(tag.data()), tag.size());
        }
        datagrams.push_back(std::move(datagram));
    }
    return datagrams;
}

std::vector<std::string> make_datagrams(Kind kind, std::uint32_t id, const std::string& payload,
                                        const std::string& key) {
    if (kind != Kind::kPush || key.empty()) return frame_datagrams(kind, 0, id, payload, key);
    std::string body;
    if (!seal_push(key, id, payload, &body)) return {};
    return frame_datagrams(kind, kFlagSealed, id, body, key);
}

Verdict read_datagram(const void* bytes, std::size_t size, const std::string& key,
                      Fragment* fragment) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    if (bytes == nullptr || size < kHeaderSize || std::memcmp(at, kMagic, sizeof kMagic) != 0 ||
        at[4] != kVersion || at[5] < 1 || at[5] > 4) {
        return Verdict::kMalformed;
    }
    Header header;
    header.kind = static_cast<Kind>(at[5]);
    header.flags = get16(at + 6);
    header.id = get32(at + 8);
    header.index = get16(at + 12);
    header.count = get16(at + 14);
    header.total = get32(at + 16);
    const bool tagged = (header.flags & kFlagTagged) != 0;
    if (tagged && size < kHeaderSize + kTagSize) return Verdict::kMalformed;
    const std::size_t fragment_size = size - kHeaderSize - (tagged ? kTagSize : 0);
    if (header.count == 0 || header.count > kMaxFragments || header.index >= header.count ||
        header.total > kMaxPayload || fragment_size > kMaxFragmentSize ||
        fragment_size > header.total) {
        return Verdict::kMalformed;
    }
    if (!key.empty()) {
        if (!tagged) return Verdict::kUntagged;
        os::Sha256Digest expected;
        if (!tag_of(key, at, at + kHeaderSize, fragment_size, expected) ||
            !os::tags_equal(expected.data(), at + kHeaderSize + fragment_size, kTagSize)) {
            return Verdict::kBadTag;
        }
    }
    fragment->header = header;
    fragment->data = reinterpret_cast<const char*>(at + kHeaderSize);
    fragment->size = fragment_size;
    return Verdict::kAccepted;
}

Reassembly::Reassembly(const Header& first)
    : header_(first), parts_(first.count), have_(first.count, false) {}

Reassembly::Step Reassembly::add(const Fragment& fragment) {
    const Header& h = fragment.header;
    if (h.kind != header_.kind || h.id != header_.id || h.flags != header_.flags ||
        h.count != header_.count || h.total != header_.total || h.index >= header_.count ||
        have_[h.index]) {
        return Step::kIgnored;
    }
    if (bytes_ + fragment.size > header_.total) return Step::kBroken;
    parts_[h.index].assign(fragment.data, fragment.size);
    have_[h.index] = true;
    bytes_ += fragment.size;
    ++received_;
    if (received_ < header_.count) return Step::kMore;
    return bytes_ == header_.total ? Step::kComplete : Step::kBroken;
}

std::string Reassembly::take() {
    std::string payload;
    payload.reserve(bytes_);
    for (std::string& part : parts_) {
        payload += part;
        std::string().swap(part);
    }
    return payload;
}

}  // namespace communicate
