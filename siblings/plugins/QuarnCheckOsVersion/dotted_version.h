// Dotted version numbers ("6.1", "10.0.19045") and their order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plugin {

using DottedVersion = std::vector<std::uint32_t>;

constexpr std::size_t kMaxVersionParts = 4;

// The whole text as one to four numbers separated by dots, each at most
// nine digits; false for anything else ("6.", "6..1", "v6", "6.1a").
bool parse_version(const std::string& text, DottedVersion* version);

// The numbers a release text begins with: "6.1.0-18-amd64" gives 6.1.0.
// False when it does not begin with a digit.
bool leading_version(const std::string& text, DottedVersion* version);

// Negative, zero or positive as a is below, equal to or above b; missing
// trailing parts count as 0 ("6.1" equals "6.1.0").
int compare_versions(const DottedVersion& a, const DottedVersion& b);

}  // namespace plugin
