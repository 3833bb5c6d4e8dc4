// The store file's decoder on arbitrary bytes: it never reads out of bounds,
// and whatever it accepts encodes back to a file that decodes to the same
// image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "siblings/QuarnAssConfigMgr/store_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    config_store::StoreImage image;
    std::uint64_t generation = 0;
    const bool has_header = config_store::peek_generation(data, size, &generation);
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
