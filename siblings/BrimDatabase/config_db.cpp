#include "siblings/BrimDatabase/config_db.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

#include "cutil/trace.h"
#include "os/file.h"
#include "os/mutex.h"

namespace brim_db {
namespace {

constexpr char kSource[] = "BrimDatabase.cpp";
constexpr char kMagic[] = "BRIMCFG1";
constexpr std::size_t kMagicSize = 8;

std::uint32_t crc32(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Reads little-endian integers from a bounded run of bytes.
class Reader {
  public:
    Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool take(std::size_t count, const unsigned char** out) {
        if (count > size_ - offset_) return false;
        *out = data_ + offset_;
        offset_ += count;
        return true;
    }
    bool number(std::size_t bytes, std::uint32_t* out) {
        const unsigned char* at = nullptr;
        if (!take(bytes, &at)) return false;
        *out = 0;
        for (std::size_t i = bytes; i-- > 0;) *out = (*out << 8) | at[i];
        return true;
    }
    bool at_end() const { return offset_ == size_; }

  private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

void put_number(std::string* out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

bool read_file(const char* path, std::string* bytes, bool* missing) {
    *missing = false;
    os::Handle file = os::file_open_read(path, os::kFileShareRead);
    if (file == nullptr) {
        *missing = os::file_attributes(path) == os::kInvalidFileAttributes;
        return false;
    }
    std::uint64_t size = 0;
    bool read = os::file_size(file, &size) && size <= kMaxFileSize;
    if (read) {
        bytes->resize(static_cast<std::size_t>(size));
        std::size_t total = 0;
        while (read && total < bytes->size()) {
            std::size_t done = 0;
            read = os::file_read(file, &(*bytes)[total], bytes->size() - total, &done) && done != 0;
            total += done;
        }
    }
    os::file_close(file);
    return read;
}

bool write_file(const char* path, const std::string& bytes) {
    os::Handle file = os::file_create_write(path, os::kFileShareNone);
    if (file == nullptr) return false;
    const bool written = os::file_write(file, bytes.data(), bytes.size());
    os::file_close(file);
    return written;
}

std::mutex g_open_lock;
std::optional<Records> g_open;

}  // namespace

bool parse(const void* data, std::size_t size, Records* out) {
    out->clear();
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < kMagicSize + 8 || size > kMaxFileSize) return false;
    Reader reader(bytes, size - 4);
    Reader tail(bytes + size - 4, 4);
    const unsigned char* magic = nullptr;
    std::uint32_t count = 0;
    std::uint32_t checksum = 0;
    if (!reader.take(kMagicSize, &magic) || std::memcmp(magic, kMagic, kMagicSize) != 0 ||
        !reader.number(4, &count) || count > kMaxRecords || !tail.number(4, &checksum) ||
        checksum != crc32(bytes, size - 4)) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t name_length = 0;
        std::uint32_t value_length = 0;
        const unsigned char* name = nullptr;
        const unsigned char* value = nullptr;
        if (!reader.number(2, &name_length) || name_length == 0 || name_length > kMaxNameLength ||
            !reader.take(name_length, &name) || !reader.number(4, &value_length) ||
            !reader.take(value_length, &value)) {
            out->clear();
            return false;
        }
        (*out)[std::string(reinterpret_cast<const char*>(name), name_length)] =
            std::string(reinterpret_cast<const char*>(value), value_length);
    }
    if (!reader.at_end() || out->size() != count) {  // trailing bytes, or a name twice
        out->clear();
        return false;
    }
    return true;
}

std::string serialize(const Records& records) {
    std::string out(kMagic, kMagicSize);
    put_number(&out, static_cast<std::uint32_t>(records.size()), 4);
    for (const auto& [name, value] : records) {
        put_number(&out, static_cast<std::uint32_t>(name.size()), 2);
        out += name;
        put_number(&out, static_cast<std::uint32_t>(value.size()), 4);
        out += value;
    }
    put_number(&out, crc32(reinterpret_cast<const unsigned char*>(out.data()), out.size()), 4);
    return out;
}

Load load(const char* path, Records* out) {
    out->clear();
    os::NamedMutexLock lock(kLockName);
    std::string bytes;
    bool missing = false;
    if (!read_file(path, &bytes, &missing)) return missing ? Load::kMissing : Load::kDamaged;
    return parse(bytes.data(), bytes.size(), out) ? Load::kOk : Load::kDamaged;
}

bool write_record(const char* path, const char* name, const std::string& value) {
    const std::size_t name_length = name != nullptr ? std::strlen(name) : 0;
    if (path == nullptr || name_length == 0 || name_length > kMaxNameLength) return false;
    os::NamedMutexLock lock(kLockName);
    Records records;
    std::string bytes;
    bool missing = false;
    if (!read_file(path, &bytes, &missing)) {
        if (!missing) return false;
    } else if (!parse(bytes.data(), bytes.size(), &records)) {
        return false;
    }
    records[name] = value;
    if (records.size() > kMaxRecords) return false;
    const std::string serialized = serialize(records);
    if (serialized.size() > kMaxFileSize) return false;
    const std::string next = std::string(path) + ".new";
    if (!write_file(next.c_str(), serialized)) {
        os::file_delete(next.c_str());
        return false;
    }
    // Readers take the same mutex, so none sees the moment between the two.
    if (!missing && !os::file_delete(path)) {
        os::file_delete(next.c_str());
        return false;
    }
    return os::file_move(next.c_str(), path);
}

int open_read(const char* path) {
    constexpr char kFunction[] = "DB_OpenConfigDB_Read";
    if (path == nullptr) {
        LogTrace(kFunction, kTraceError, kSource, __LINE__, "%s", "没有指定数据库路径");
        return 0;
    }
    Records records;
    const Load loaded = load(path, &records);
    if (loaded != Load::kOk) {
        LogTrace(kFunction, kTraceError, kSource, __LINE__,
                 loaded == Load::kMissing ? "数据库%s不存在" : "数据库%s已损坏，不能读取", path);
        return 0;
    }
    const std::lock_guard<std::mutex> guard(g_open_lock);
    g_open = std::move(records);
    return 1;
}

int read_record(const char* name, void* buffer, int size) {
    if (name == nullptr) return 0;
    const std::lock_guard<std::mutex> guard(g_open_lock);
    if (!g_open) return 0;
    const auto found = g_open->find(name);
    if (found == g_open->end()) return 0;
    // Room for a terminator, so a text record reads as a text.
    const std::size_t needed = found->second.size() + 1;
    if (needed > static_cast<std::size_t>(INT32_MAX)) return 0;
    if (buffer == nullptr) return static_cast<int>(needed);
    if (size < 0 || static_cast<std::size_t>(size) < needed) return 0;
    std::memcpy(buffer, found->second.data(), found->second.size());
    static_cast<char*>(buffer)[found->second.size()] = '\0';
    return 1;
}

int close() {
    const std::lock_guard<std::mutex> guard(g_open_lock);
    const bool was_open = g_open.has_value();
    g_open.reset();
    return was_open ? 1 : 0;
}

}  // namespace brim_db
