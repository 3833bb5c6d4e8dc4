// The store file's decoder on arbitrary bytes: it never reads out of bounds,
// and whatever it accepts encodes back to a file that decodes to the same
// image. Inputs that do not start like a store are taken as a body and given
// a valid header and digest, so the entry parser behind the integrity check
// is reached too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/crypto.h"
#include "siblings/QuarnAssConfigMgr/store_format.h"

namespace {

void put(std::string* out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A file whose body is `body` plus its digest, with the body's generation.
std::string wrap_body(const std::string& body) {
    std::uint64_t generation = 0;
    for (std::size_t i = 0; i < 8 && i < body.size(); ++i) {
        generation |= static_cast<std::uint64_t>(static_cast<unsigned char>(body[i])) << (8 * i);
    }
    os::Sha256Digest digest{};
    os::sha256({{body.data(), body.size()}}, digest);
    std::string file = "QCFG";
    put(&file, 1, 4);
    put(&file, generation, 8);
    put(&file, 0, 4);
    put(&file, body.size() + digest.size(), 4);
    file += body;
    file.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    if (size < 4 || std::memcmp(data, "QCFG", 4) != 0) file = wrap_body(file);
    config_store::StoreImage image;
    std::uint64_t generation = 0;
    const bool has_header = config_store::peek_generation(file.data(), file.size(), &generation);
    if (config_store::decode_store(file, &image) != config_store::DecodeResult::kOk) return 0;
    if (!has_header || generation != image.generation) std::abort();
    std::string again;
    config_store::StoreImage round;
    if (!config_store::encode_store(image, &again) ||
        config_store::decode_store(again, &round) != config_store::DecodeResult::kOk ||
        round.generation != image.generation || round.values != image.values) {
        std::abort();
    }
    return 0;
}
