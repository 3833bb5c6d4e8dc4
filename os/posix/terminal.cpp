#include "os/terminal.h"

#include "os/text.h"

namespace os {
namespace {

bool valid_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead < 0x80    ? 0
                                  : lead >= 0xF8 ? 9
                                  : lead >= 0xF0 ? 3
                                  : lead >= 0xE0 ? 2
                                  : lead >= 0xC2 ? 1
                                                 : 9;
        if (extra == 9 || extra > text.size() - i - 1) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

// A terminal's arguments are UTF-8; one that is not (a script that writes
// GBK) is taken as the GBK it already is.
std::string argument_to_gbk(const char* argument) {
    if (argument == nullptr) return {};
    const std::string text(argument);
    return valid_utf8(text) ? utf8_to_gbk(text.data(), text.size()) : text;
}

}  // namespace os
