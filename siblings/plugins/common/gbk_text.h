// Byte-level rules for GBK texts: a byte from 0x81 to 0xFE leads a
// two-byte character whose second byte may look like an ASCII letter or
// "\", so it must never be folded or cut on its own.
#pragma once

#include <cstddef>
#include <string>

namespace plugin {

// The largest length not above `limit` that does not split a character.
std::size_t gbk_boundary(const std::string& text, std::size_t limit);

// Equal when ASCII letters are compared without case and every two-byte
// character byte for byte (as the system compares file names).
bool same_name(const std::string& a, const std::string& b);

// ASCII-only comparison without case, for keywords ("Yes", "HKLM").
bool same_keyword(const char* a, const char* b);

}  // namespace plugin
