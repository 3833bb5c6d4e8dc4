// The one export beyond the agent's contract: every key and value at once,
// for the administration tool (the agent itself never lists the store).
//
//   int TarnListConfig(char** listing)
// nonzero with *listing a new global-allocator text: each entry as
// "<key length>:<key><value length>:<value>" (decimal lengths in bytes), in
// ascending key order; the caller releases it with GlobalFree.
#pragma once

#include <string>

#include "os/compiler.h"
#include "siblings/QuarnAssConfigMgr/store_format.h"

namespace config_store {

inline constexpr char kListConfigName[] = "TarnListConfig";
using ListConfigFunction = int(QUARN_CDECL*)(char** listing);

// The listing text of `values`, and back; false for a text that is no listing.
inline std::string encode_listing(const Values& values) {
    std::string text;
    for (const auto& entry : values) {
        text += std::to_string(entry.first.size()) + ":" + entry.first;
        text += std::to_string(entry.second.size()) + ":" + entry.second;
    }
    return text;
}

inline bool decode_listing(const std::string& text, Values* values) {
    values->clear();
    std::size_t at = 0;
    std::string field[2];
    while (at < text.size()) {
        for (std::string& out : field) {
            std::size_t length = 0;
            std::size_t digits = 0;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 10) {
                length = length * 10 + static_cast<std::size_t>(text[at++] - '0');
                ++digits;
            }
            if (digits == 0 || at >= text.size() || text[at++] != ':' ||
                length > text.size() - at) {
                return false;
            }
            out = text.substr(at, length);
            at += length;
        }
        (*values)[field[0]] = field[1];
    }
    return true;
}

}  // namespace config_store
