#include "siblings/QuarnAssCommunicate/replay_window.h"

#include <ctime>

#include "interface/assistant_dir.h"
#include "os/data_protection.h"

namespace communicate {
namespace {

// The file: "QRW1", the highest id (4 bytes) and the map (8 bytes), little-endian.
constexpr char kMagic[] = "QRW1";
constexpr std::size_t kFileSize = 16;

std::uint64_t read_le(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void write_le(std::string* bytes, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        bytes->push_back(static_cast<char>(value >> (8 * i) & 0xff));
}

}  // namespace

ReplayWindow::ReplayWindow() = default;

ReplayWindow::ReplayWindow(std::string state_path)
    : located_(state_path.empty()), state_path_(std::move(state_path)) {
    if (!located_) load();
}

void ReplayWindow::load() {
    located_ = true;
    std::string bytes;
    // A missing file is a first start; a damaged one is treated alike (the
    // owner of the assistant directory is the only one who can damage it).
    if (!os::file_read_all(state_path_.c_str(), kFileSize + 1, &bytes) ||
        bytes.size() != kFileSize || bytes.compare(0, 4, kMagic) != 0) {
        return;
    }
    started_ = true;
    highest_ = static_cast<std::uint32_t>(read_le(bytes, 4, 4));
    seen_ = read_le(bytes, 8, 8);
}

void ReplayWindow::save() const {
    if (state_path_.empty()) return;
    std::string bytes = kMagic;
    write_le(&bytes, highest_, 4);
    write_le(&bytes, seen_, 8);
    os::file_replace_durably(state_path_.c_str(), bytes.data(), bytes.size());
}

bool ReplayWindow::fresh(std::uint32_t id) {
    if (!located_) {
        char path[kPathSize];
        if (gateway::assistant_file_path(kWindowFileName, path)) state_path_ = path;
        load();
    }
    const auto now = static_cast<std::uint64_t>(std::time(nullptr));
    const std::uint64_t base = started_ && highest_ > now ? highest_ : now;
    if (id > base + kMaxAhead) return false;
    if (!started_ || id > highest_) return true;
    const std::uint32_t age = highest_ - id;
    return age < kSize && (seen_ & (std::uint64_t{1} << age)) == 0;
}

bool ReplayWindow::take(std::uint32_t id) {
    if (!fresh(id)) return false;
    if (!started_) {
        started_ = true;
        highest_ = id;
        seen_ = 1;
    } else if (id > highest_) {
        const std::uint32_t shift = id - highest_;
        seen_ = shift >= kSize ? 0 : seen_ << shift;
        seen_ |= 1;
        highest_ = id;
    } else {
        seen_ |= std::uint64_t{1} << (highest_ - id);
    }
    save();
    return true;
}

}  // namespace communicate
