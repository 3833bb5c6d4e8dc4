// The datagram of the UDP exchanges with the server: a 20-byte header, one
// fragment of a document's text form (of a push's sealed body under a key,
// push_seal.h) and, when a key is configured, the HMAC-SHA256 tag over both.
// docs/wire_formats.md has the byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace communicate {

inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kTagSize = 32;
inline constexpr std::size_t kMaxFragmentSize = 60000;
inline constexpr std::size_t kMaxDatagramSize = kHeaderSize + kMaxFragmentSize + kTagSize;
inline constexpr std::size_t kMaxPayload = 1024 * 1024;
// Our senders need 18 fragments for the largest payload; a receiver takes up
// to 64 so that a peer cutting smaller fragments is understood too.
inline constexpr std::uint16_t kMaxFragments = 64;
inline constexpr std::uint16_t kFlagTagged = 0x0001;
// The payload is a push's body sealed under the key (push_seal.h).
inline constexpr std::uint16_t kFlagSealed = 0x0002;

enum class Kind : std::uint8_t { kRequest = 1, kReply = 2, kPush = 3, kPushAnswer = 4 };

struct Header {
    Kind kind = Kind::kRequest;
    std::uint16_t flags = 0;
    std::uint32_t id = 0;
    std::uint16_t index = 0;
    std::uint16_t count = 1;
    std::uint32_t total = 0;
};

// One received datagram, its fragment pointing into the received bytes.
struct Fragment {
    Header header;
    const char* data = nullptr;
    std::size_t size = 0;
};

enum class Verdict {
    kAccepted,
    kMalformed,  // wrong magic, version, kind, or fields that cannot hold
    kUntagged,   // a key is configured and the datagram has no tag
    kBadTag,     // the tag does not match
};

// The datagrams that carry `payload` (at most kMaxPayload bytes) in
// fragments of at most kMaxFragmentSize bytes, each tagged under `key`
// unless it is empty. A push under a key travels sealed (kFlagSealed), so
// its payload may be at most kMaxPayload - kSealOverhead bytes. Empty when
// the payload is too large or the tag or seal could not be computed.
std::vector<std::string> make_datagrams(Kind kind, std::uint32_t id, const std::string& payload,
                                        const std::string& key);
// The datagrams of `body` exactly as given, with `flags` besides the tag's:
// make_datagrams' framing without its sealing (tests make pushes of an
// unsealing peer with it).
std::vector<std::string> frame_datagrams(Kind kind, std::uint16_t flags, std::uint32_t id,
                                         const std::string& body, const std::string& key);
// The fragments a payload of `size` bytes takes.
std::uint16_t fragment_count(std::size_t size);
// The 20 header bytes of `header` as sent.
std::string header_bytes(const Header& header);

// Reads and checks one datagram. With a non-empty `key` only a datagram
// tagged under it is accepted; without one, a tag is stripped unchecked.
Verdict read_datagram(const void* bytes, std::size_t size, const std::string& key,
                      Fragment* fragment);

// The fragments of one message gathered in any order. Fragments of another
// message (id, kind, flags, count or total differ) and repeated indexes are
// ignored.
class Reassembly {
  public:
    enum class Step { kMore, kComplete, kIgnored, kBroken };

    explicit Reassembly(const Header& first);
    // kComplete once every fragment is in and their sizes add up to the
    // total; kBroken when they cannot (the message is lost).
    Step add(const Fragment& fragment);
    // The payload, once complete.
    std::string take();
    const Header& header() const { return header_; }

  private:
    Header header_;
    std::vector<std::string> parts_;
    std::vector<bool> have_;
    std::size_t bytes_ = 0;
    std::uint16_t received_ = 0;
};

}  // namespace communicate
