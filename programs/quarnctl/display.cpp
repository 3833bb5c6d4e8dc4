#include "programs/quarnctl/display.h"

#include "os/text.h"

namespace quarnctl {

std::string printable(const std::string& gbk) {
    const std::string utf8 = os::gbk_to_utf8(gbk.data(), gbk.size());
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c != '\t' && static_cast<unsigned char>(c) < 0x20) {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace quarnctl
