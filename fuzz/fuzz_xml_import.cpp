// libFuzzer target: any text through cutil_xml_import_fre, then the
// invariants of xml_round_trip.h; a violation aborts with its description.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/xml_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t seed = 0;
    for (std::size_t i = 0; i < size && i < 8; ++i) seed = seed * 131 + data[i];
    const std::string problem = quarn::fuzz::check_xml_round_trip(text.c_str(), seed);
    if (!problem.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
