#include "siblings/plugins/QuarnCheckOsVersion/dotted_version.h"

namespace plugin {
namespace {

constexpr std::size_t kMaxDigits = 9;  // any such number fits 32 bits

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to four dot-separated numbers from the start of `text`; returns
// the length of the part read, which ends after a number (0 for none).
std::size_t read_version(const std::string& text, DottedVersion* version) {
    version->clear();
    std::size_t at = 0;
    std::size_t end = 0;
    while (version->size() < kMaxVersionParts) {
        std::uint32_t number = 0;
        std::size_t digits = 0;
        for (; at < text.size() && is_digit(text[at]) && digits < kMaxDigits; ++at, ++digits) {
            number = number * 10 + static_cast<std::uint32_t>(text[at] - '0');
        }
        if (digits == 0) break;
        version->push_back(number);
        end = at;
        if (at >= text.size() || text[at] != '.') break;
        ++at;
    }
    return end;
}

}  // namespace

bool parse_version(const std::string& text, DottedVersion* version) {
    return !text.empty() && read_version(text, version) == text.size();
}

bool leading_version(const std::string& text, DottedVersion* version) {
    return read_version(text, version) > 0;
}

int compare_versions(const DottedVersion& a, const DottedVersion& b) {
    const std::size_t parts = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < parts; ++i) {
        const std::uint32_t x = i < a.size() ? a[i] : 0;
        const std::uint32_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace plugin
