// The configuration store's file: a small plain header that names the
// version of the store (so a writer can tell cheaply whether another process
// replaced it), then the body, sealed with the user's data-protection key
// where the platform has one.
//
//   header (24 bytes, little-endian):
//     "QCFG" | format 1 (u32) | generation (u64) | flags (u32; bit 0: sealed)
//     | body length (u32)
//   body (after unsealing):
//     generation (u64, equal to the header's) | count (u32)
//     | count x { key length (u32) | value length (u32) | key | value },
//       keys in strictly ascending byte order
//     | SHA-256 of everything before it in the body
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace config_store {

using Values = std::map<std::string, std::string>;

struct StoreImage {
    std::uint64_t generation = 0;
    Values values;
};

inline constexpr std::size_t kHeaderSize = 24;
// Far above any real store; a larger file is not read into memory.
inline constexpr std::size_t kMaxBodyBytes = 64u << 20;

enum class DecodeResult {
    kOk,
    kNotAStore,     // wrong magic or format
    kTruncated,     // shorter than its lengths say
    kUnsealFailed,  // sealed for another user or machine, or damaged
    kDamaged,       // inconsistent body or failed integrity check
};

// The file's bytes for `image`; false when the body cannot be sealed or is
// too large.
bool encode_store(const StoreImage& image, std::string* file);
DecodeResult decode_store(const std::string& file, StoreImage* image);
// The generation in a header of at least kHeaderSize bytes; false for bytes
// that are no store header.
bool peek_generation(const void* header, std::size_t size, std::uint64_t* generation);

const char* describe(DecodeResult result);

}  // namespace config_store
