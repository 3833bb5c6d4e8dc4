// BrimConfig.dat from bytes of any shape: the reader refuses or accepts the
// file whole, and what it accepts is written back to the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "siblings/BrimDatabase/config_db.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    brim_db::Records records;
    if (!brim_db::parse(data, size, &records)) {
        if (!records.empty()) std::abort();  // a refused file yields nothing
        return 0;
    }
    const std::string written = brim_db::serialize(records);
    brim_db::Records again;
    if (!brim_db::parse(written.data(), written.size(), &again) || again != records) std::abort();
    return 0;
}
