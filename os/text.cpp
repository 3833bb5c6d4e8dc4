// Text helpers that need no system service.
#include "os/text.h"

namespace os {

std::size_t wide_length(const char16_t* text) {
    if (text == nullptr) return 0;
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace os
