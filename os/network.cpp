#include "os/network.h"

#include <cstdio>

namespace os {

std::string network_mac_text(const unsigned char* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; bytes != nullptr && i < length; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, i == 0 ? "%02X" : "-%02X", bytes[i]);
        text += part;
    }
    return text;
}

}  // namespace os
