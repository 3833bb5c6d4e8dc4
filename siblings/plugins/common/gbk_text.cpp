#include "siblings/plugins/common/gbk_text.h"

namespace plugin {
namespace {

bool leads_pair(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::size_t gbk_boundary(const std::string& text, std::size_t limit) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t width =
            leads_pair(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
        if (at + width > limit) break;
        at += width;
    }
    return at;
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (leads_pair(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (folded(a[i]) != folded(b[i])) {
            return false;
        }
    }
    return true;
}

bool same_keyword(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (folded(*a) != folded(*b)) return false;
    }
    return *a == *b;
}

}  // namespace plugin
