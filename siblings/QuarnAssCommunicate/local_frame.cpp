#include "siblings/QuarnAssCommunicate/local_frame.h"

#include <cstring>

#include "interface/assistant_dir.h"
#include "os/file.h"
#include "siblings/QuarnAssCommunicate/datagram.h"

namespace communicate {
namespace {

struct FileCloser {
    os::Handle file;
    ~FileCloser() {
        if (file != nullptr) os::file_close(file);
    }
};

bool secret_path(char* path) {
    return gateway::assistant_file_path(kSecretFileName, path);
}

bool tag_of(Direction direction, const std::string& secret, const os::Sha256Digest* request_tag,
            const unsigned char* length, const std::string& text, os::Sha256Digest* tag) {
    const auto direction_byte = static_cast<unsigned char>(direction);
    return os::hmac_sha256({secret.data(), secret.size()},
                           {{&direction_byte, 1},
                            {request_tag != nullptr ? request_tag->data() : nullptr,
                             request_tag != nullptr ? request_tag->size() : 0},
                            {length, 4},
                            {text.data(), text.size()}},
                           *tag);
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

std::string make_frame(Direction direction, const std::string& secret, const std::string& text,
                       const os::Sha256Digest* request_tag, os::Sha256Digest* tag) {
    if (text.size() > kMaxPayload) return {};
    unsigned char length[4];
    for (int i = 0; i < 4; ++i) length[i] = static_cast<unsigned char>(text.size() >> (8 * i));
    if (!tag_of(direction, secret, request_tag, length, text, tag)) return {};
    std::string frame(reinterpret_cast<const char*>(length), sizeof length);
    frame += text;
    frame.append(reinterpret_cast<const char*>(tag->data()), tag->size());
    return frame;
}

FrameRead receive_frame(os::Socket socket, Direction direction, const std::string& secret,
                        const os::Sha256Digest* request_tag, std::uint32_t timeout_ms,
                        std::string* text, os::Sha256Digest* tag) {
    unsigned char length[4];
    if (!os::tcp_receive_all(socket, length, sizeof length, timeout_ms)) return FrameRead::kFailed;
    const std::uint32_t size = static_cast<std::uint32_t>(length[0]) | (length[1] << 8) |
                               (length[2] << 16) | (static_cast<std::uint32_t>(length[3]) << 24);
    if (size > kMaxPayload) return FrameRead::kTooLong;
    text->assign(size, '\0');
    os::Sha256Digest received;
    if ((size > 0 && !os::tcp_receive_all(socket, &(*text)[0], size, timeout_ms)) ||
        !os::tcp_receive_all(socket, received.data(), received.size(), timeout_ms)) {
        return FrameRead::kFailed;
    }
    if (!tag_of(direction, secret, request_tag, length, *text, tag) ||
        !os::tags_equal(tag->data(), received.data(), tag->size())) {
        return FrameRead::kBadTag;
    }
    return FrameRead::kOk;
}

}  // namespace communicate
