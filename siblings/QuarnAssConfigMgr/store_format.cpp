#include "siblings/QuarnAssConfigMgr/store_format.h"

#include <cstring>

#include "os/crypto.h"
#include "os/data_protection.h"

namespace config_store {
namespace {

constexpr char kMagic[4] = {'Q', 'C', 'F', 'G'};
constexpr std::uint32_t kFormat = 1;
constexpr std::uint32_t kSealedFlag = 1;
constexpr std::size_t kBodyFixed = 8 + 4;
constexpr std::size_t kEntryFixed = 4 + 4;

void put32(std::string* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
void put64(std::string* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Reads little-endian fields from a run of bytes, never past its end.
class Reader {
  public:
    Reader(const char* data, std::size_t size) : data_(data), size_(size) {}
    bool u32(std::uint32_t* value) {
        std::uint64_t wide = 0;
        if (!field(4, &wide)) return false;
        *value = static_cast<std::uint32_t>(wide);
        return true;
    }
    bool u64(std::uint64_t* value) { return field(8, value); }
    bool bytes(std::size_t count, std::string* out) {
        if (count > size_ - at_) return false;
        out->assign(data_ + at_, count);
        at_ += count;
        return true;
    }
    std::size_t at() const { return at_; }
    std::size_t left() const { return size_ - at_; }

  private:
    bool field(std::size_t width, std::uint64_t* value) {
        if (width > size_ - at_) return false;
        *value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            *value |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[at_ + i]))
                      << (8 * i);
        }
        at_ += width;
        return true;
    }
    const char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

DecodeResult decode_body(const std::string& body, std::uint64_t generation, StoreImage* image) {
    if (body.size() < kBodyFixed + os::kSha256Size) return DecodeResult::kTruncated;
    const std::size_t signed_size = body.size() - os::kSha256Size;
    os::Sha256Digest digest{};
    if (!os::sha256({{body.data(), signed_size}}, digest) ||
        !os::tags_equal(digest.data(), body.data() + signed_size, digest.size())) {
        return DecodeResult::kDamaged;
    }
    Reader reader(body.data(), signed_size);
    std::uint64_t inner_generation = 0;
    std::uint32_t count = 0;
    if (!reader.u64(&inner_generation) || !reader.u32(&count)) return DecodeResult::kTruncated;
    if (inner_generation != generation) return DecodeResult::kDamaged;
    // Every entry takes at least its two lengths: a count beyond that is a lie.
    if (count > reader.left() / kEntryFixed) return DecodeResult::kDamaged;
    StoreImage decoded;
    decoded.generation = generation;
    std::string key;
    std::string value;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t key_length = 0;
        std::uint32_t value_length = 0;
        if (!reader.u32(&key_length) || !reader.u32(&value_length) ||
            !reader.bytes(key_length, &key) || !reader.bytes(value_length, &value)) {
            return DecodeResult::kDamaged;
        }
        if (!decoded.values.empty() && !(decoded.values.rbegin()->first < key)) {
            return DecodeResult::kDamaged;
        }
        decoded.values.emplace_hint(decoded.values.end(), std::move(key), std::move(value));
    }
    if (reader.left() != 0) return DecodeResult::kDamaged;
    *image = std::move(decoded);
    return DecodeResult::kOk;
}

}  // namespace

bool encode_store(const StoreImage& image, std::string* file) {
    std::string body;
    put64(&body, image.generation);
    put32(&body, static_cast<std::uint32_t>(image.values.size()));
    for (const auto& entry : image.values) {
        if (entry.first.size() > kMaxBodyBytes || entry.second.size() > kMaxBodyBytes) {
            return false;
        }
        put32(&body, static_cast<std::uint32_t>(entry.first.size()));
        put32(&body, static_cast<std::uint32_t>(entry.second.size()));
        body += entry.first;
        body += entry.second;
        if (body.size() > kMaxBodyBytes) return false;
    }
    os::Sha256Digest digest{};
    if (!os::sha256({{body.data(), body.size()}}, digest)) return false;
    body.append(reinterpret_cast<const char*>(digest.data()), digest.size());

    std::string sealed;
    if (!os::data_protect(body.data(), body.size(), &sealed)) return false;
    // The sealed form may carry a few hundred bytes of its own.
    if (sealed.size() > kMaxBodyBytes + 4096) return false;
    file->clear();
    file->append(kMagic, sizeof kMagic);
    put32(file, kFormat);
    put64(file, image.generation);
    put32(file, os::data_protection_encrypts() ? kSealedFlag : 0);
    put32(file, static_cast<std::uint32_t>(sealed.size()));
    *file += sealed;
    return true;
}

DecodeResult decode_store(const std::string& file, StoreImage* image) {
    Reader reader(file.data(), file.size());
    std::string magic;
    std::uint32_t format = 0;
    std::uint64_t generation = 0;
    std::uint32_t flags = 0;
    std::uint32_t body_length = 0;
    if (!reader.bytes(sizeof kMagic, &magic)) return DecodeResult::kTruncated;
    if (std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) return DecodeResult::kNotAStore;
    if (!reader.u32(&format) || !reader.u64(&generation) || !reader.u32(&flags) ||
        !reader.u32(&body_length)) {
        return DecodeResult::kTruncated;
    }
    if (format != kFormat || (flags & ~kSealedFlag) != 0) return DecodeResult::kNotAStore;
    if (reader.left() < body_length) return DecodeResult::kTruncated;
    if (reader.left() > body_length) return DecodeResult::kDamaged;
    const char* sealed = file.data() + reader.at();
    std::string body;
    if ((flags & kSealedFlag) != 0) {
        if (!os::data_unprotect(sealed, body_length, &body)) return DecodeResult::kUnsealFailed;
    } else {
        body.assign(sealed, body_length);
    }
    return decode_body(body, generation, image);
}

bool peek_generation(const void* header, std::size_t size, std::uint64_t* generation) {
    if (header == nullptr || size < kHeaderSize) return false;
    Reader reader(static_cast<const char*>(header), kHeaderSize);
    std::string magic;
    std::uint32_t format = 0;
    reader.bytes(sizeof kMagic, &magic);
    if (std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0 || !reader.u32(&format) ||
        format != kFormat) {
        return false;
    }
    return reader.u64(generation);
}

const char* describe(DecodeResult result) {
    switch (result) {
        case DecodeResult::kOk:
            return "ok";
        case DecodeResult::kNotAStore:
            return "not a store";
        case DecodeResult::kTruncated:
            return "truncated";
        case DecodeResult::kUnsealFailed:
            return "cannot be unsealed";
        case DecodeResult::kDamaged:
            return "failed its integrity check";
    }
    return "?";
}

}  // namespace config_store
