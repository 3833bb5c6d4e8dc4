#include "siblings/QuarnAssCommunicate/local_frame.h"

#include <cstring>

#include "interface/assistant_dir.h"
#include "os/file.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/datagram.h"

namespace communicate {
namespace {

constexpr char kMagic[4] = {'T', 'A', 'R', 'L'};
constexpr std::size_t kFrameHeaderSize = 6;
constexpr std::size_t kNonceSize = 32;
enum class Step : std::uint8_t { kHello = 1, kChallenge = 2, kRequest = 3, kAnswer = 4 };
using Nonce = std::array<std::uint8_t, kNonceSize>;

struct FileCloser {
    os::Handle file;
    ~FileCloser() {
        if (file != nullptr) os::file_close(file);
    }
};

bool secret_path(char* path) {
    return gateway::assistant_file_path(kSecretFileName, path);
}

// What is left of one deadline for each read of a frame.
class Deadline {
  public:
    explicit Deadline(std::uint32_t timeout_ms) : start_(os::tick_count()), timeout_(timeout_ms) {}
    std::uint32_t left() const {
        const std::uint32_t spent = os::tick_count() - start_;
        return spent >= timeout_ ? 0 : timeout_ - spent;
    }

  private:
    std::uint32_t start_;
    std::uint32_t timeout_;
};

std::string header(Step step) {
    return std::string(kMagic, sizeof kMagic) + static_cast<char>(kLocalVersion) +
           static_cast<char>(step);
}

std::string length_bytes(std::size_t size) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((size >> (8 * i)) & 0xff);
    return bytes;
}

std::uint32_t length_of(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Reads a frame header of `step`. A first-version frame starts with its
// length, at most 1 MiB: its first byte can never be the magic's 'T' with
// the three after it.
LocalRead read_header(os::Socket socket, Step step, const Deadline& deadline) {
    unsigned char bytes[kFrameHeaderSize];
    if (!os::tcp_receive_all(socket, bytes, 4, deadline.left())) return LocalRead::kFailed;
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        return length_of(bytes) <= kMaxPayload ? LocalRead::kOldVersion : LocalRead::kFailed;
    }
    if (!os::tcp_receive_all(socket, bytes + 4, 2, deadline.left())) return LocalRead::kFailed;
    if (bytes[4] != kLocalVersion) return LocalRead::kOldVersion;
    return bytes[5] == static_cast<std::uint8_t>(step) ? LocalRead::kOk : LocalRead::kFailed;
}

// HMAC-SHA256 under the secret over a label, the version and both nonces:
// the two proofs and the session key differ by their label only.
bool derive(const std::string& secret, const char* label, const Nonce& client,
            const Nonce& listener, os::Sha256Digest* out) {
    const std::uint8_t version = kLocalVersion;
    return os::hmac_sha256({secret.data(), secret.size()},
                           {{label, std::strlen(label)},
                            {&version, 1},
                            {client.data(), client.size()},
                            {listener.data(), listener.size()}},
                           *out);
}

bool make_session(const std::string& secret, const Nonce& client, const Nonce& listener,
                  LocalSession* session) {
    os::Sha256Digest key;
    if (!derive(secret, "TARL key", client, listener, &key)) return false;
    std::memcpy(session->key.data(), key.data(), session->key.size());
    return true;
}

// Each key seals one request and one answer: the step byte makes the two
// nonces differ.
std::array<std::uint8_t, os::kAeadNonceSize> nonce_of(Step step) {
    std::array<std::uint8_t, os::kAeadNonceSize> nonce{};
    nonce[0] = static_cast<std::uint8_t>(step);
    return nonce;
}

// The sealed body of a request or answer: L, then L bytes sealed with the
// frame's header and L as additional data.
std::string sealed_body(const LocalSession& session, Step step, const std::string& text) {
    if (text.size() > kMaxPayload) return {};
    const std::string length = length_bytes(text.size());
    const std::string aad = header(step) + length;
    std::string sealed;
    if (!os::aead_seal(session.key.data(), nonce_of(step).data(), {aad.data(), aad.size()},
                       {text.data(), text.size()}, &sealed)) {
        return {};
    }
    return length + sealed;
}

LocalRead read_sealed(os::Socket socket, const LocalSession& session, Step step,
                      const Deadline& deadline, std::string* text) {
    unsigned char length[4];
    if (!os::tcp_receive_all(socket, length, sizeof length, deadline.left()))
        return LocalRead::kFailed;
    const std::uint32_t size = length_of(length);
    if (size > kMaxPayload) return LocalRead::kTooLong;
    std::string sealed(size + os::kAeadTagSize, '\0');
    if (!os::tcp_receive_all(socket, &sealed[0], sealed.size(), deadline.left()))
        return LocalRead::kFailed;
    const std::string aad = header(step) + std::string(reinterpret_cast<char*>(length), 4);
    if (!os::aead_open(session.key.data(), nonce_of(step).data(), {aad.data(), aad.size()},
                       {sealed.data(), sealed.size()}, text)) {
        return LocalRead::kNotProven;
    }
    return LocalRead::kOk;
}

}  // namespace

bool create_secret(std::string* secret) {
    char path[kPathSize];
    unsigned char bytes[kSecretSize];
    if (!secret_path(path) || !os::random_bytes(bytes, sizeof bytes)) return false;
    const FileCloser file{os::file_create_write_owner_only(path, os::kFileShareRead)};
    if (file.file == nullptr || !os::file_write(file.file, bytes, sizeof bytes)) return false;
    secret->assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return true;
}

bool read_secret(std::string* secret) {
    char path[kPathSize];
    if (!secret_path(path)) return false;
    const FileCloser file{os::file_open_read(path, os::kFileShareRead | os::kFileShareWrite)};
    std::uint64_t size = 0;
    if (file.file == nullptr || !os::file_size(file.file, &size) || size != kSecretSize) {
        return false;
    }
    char bytes[kSecretSize];
    std::size_t done = 0;
    if (!os::file_read(file.file, bytes, sizeof bytes, &done) || done != sizeof bytes) return false;
    secret->assign(bytes, sizeof bytes);
    return true;
}

LocalRead listener_receive(os::Socket socket, const std::string& secret, std::uint32_t timeout_ms,
                           LocalSession* session, std::string* request,
                           const std::function<void()>& proven) {
    const Deadline deadline(timeout_ms);
    Nonce client;
    LocalRead read = read_header(socket, Step::kHello, deadline);
    if (read != LocalRead::kOk) return read;
    if (!os::tcp_receive_all(socket, client.data(), client.size(), deadline.left()))
        return LocalRead::kFailed;
    Nonce listener;
    os::Sha256Digest proof;
    if (!os::random_bytes(listener.data(), listener.size()) ||
        !derive(secret, "TARL listener", client, listener, &proof) ||
        !make_session(secret, client, listener, session)) {
        return LocalRead::kFailed;
    }
    const std::string challenge =
        header(Step::kChallenge) +
        std::string(reinterpret_cast<const char*>(listener.data()), listener.size()) +
        std::string(reinterpret_cast<const char*>(proof.data()), proof.size());
    if (!os::tcp_send_all(socket, challenge.data(), challenge.size(), deadline.left()))
        return LocalRead::kFailed;

    read = read_header(socket, Step::kRequest, deadline);
    if (read != LocalRead::kOk) return read;
    os::Sha256Digest received;
    if (!os::tcp_receive_all(socket, received.data(), received.size(), deadline.left()))
        return LocalRead::kFailed;
    // Checked before the body is read: a stranger cannot make us take 1 MiB.
    if (!derive(secret, "TARL client", client, listener, &proof) ||
        !os::tags_equal(proof.data(), received.data(), proof.size())) {
        return LocalRead::kNotProven;
    }
    if (proven) proven();
    return read_sealed(socket, *session, Step::kRequest, deadline, request);
}

bool listener_answer(os::Socket socket, const LocalSession& session, const std::string& answer,
                     std::uint32_t timeout_ms) {
    const std::string body = sealed_body(session, Step::kAnswer, answer);
    if (body.empty()) return false;
    const std::string frame = header(Step::kAnswer) + body;
    return os::tcp_send_all(socket, frame.data(), frame.size(), timeout_ms);
}

LocalRead client_exchange(os::Socket socket, const std::string& secret, const std::string& request,
                          std::uint32_t handshake_ms, std::uint32_t answer_ms,
                          std::string* answer) {
    if (request.size() > kMaxPayload) return LocalRead::kTooLong;
    const Deadline handshake(handshake_ms);
    Nonce client;
    if (!os::random_bytes(client.data(), client.size())) return LocalRead::kFailed;
    const std::string hello =
        header(Step::kHello) +
        std::string(reinterpret_cast<const char*>(client.data()), client.size());
    if (!os::tcp_send_all(socket, hello.data(), hello.size(), handshake.left()))
        return LocalRead::kFailed;
    LocalRead read = read_header(socket, Step::kChallenge, handshake);
    if (read != LocalRead::kOk) return read;
    Nonce listener;
    os::Sha256Digest received;
    if (!os::tcp_receive_all(socket, listener.data(), listener.size(), handshake.left()) ||
        !os::tcp_receive_all(socket, received.data(), received.size(), handshake.left())) {
        return LocalRead::kFailed;
    }
    os::Sha256Digest proof;
    LocalSession session;
    // Whoever holds the port without the secret learns nothing past here.
    if (!derive(secret, "TARL listener", client, listener, &proof) ||
        !os::tags_equal(proof.data(), received.data(), proof.size())) {
        return LocalRead::kNotProven;
    }
    if (!derive(secret, "TARL client", client, listener, &proof) ||
        !make_session(secret, client, listener, &session)) {
        return LocalRead::kFailed;
    }
    const std::string body = sealed_body(session, Step::kRequest, request);
    if (body.empty()) return LocalRead::kFailed;
    const std::string frame =
        header(Step::kRequest) +
        std::string(reinterpret_cast<const char*>(proof.data()), proof.size()) + body;
    if (!os::tcp_send_all(socket, frame.data(), frame.size(), handshake.left()))
        return LocalRead::kFailed;
    const Deadline waiting(answer_ms);
    read = read_header(socket, Step::kAnswer, waiting);
    if (read != LocalRead::kOk) return read;
    return read_sealed(socket, session, Step::kAnswer, waiting, answer);
}

}  // namespace communicate
