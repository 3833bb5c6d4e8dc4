#include "programs/simulator/url_base64.h"

#include "cutil/base64.h"

namespace simulator {

std::string url_base64_encode(const std::string& text) {
    std::string out(text.size() / 3 * 4 + 16, '\0');
    const int length = cutil_base64_encode(text.data(), static_cast<int>(text.size()), out.data(),
                                           static_cast<int>(out.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    for (char& c : out) {
        if (c == '+') c = ',';
        if (c == '=') c = ':';
        if (c == '/') c = '.';
    }
    return out;
}

std::string url_base64_decode(const std::string& text) {
    std::string standard = text;
    for (char& c : standard) {
        if (c == ',') c = '+';
        if (c == ':') c = '=';
        if (c == '.') c = '/';
    }
    // The decoder stops (output_size - 4) bytes in: room for every group.
    std::string out(standard.size() / 4 * 3 + 8, '\0');
    const int length = cutil_base64_decode(standard.data(), static_cast<int>(standard.size()),
                                           out.data(), static_cast<int>(out.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    // "=" decodes as zero bits and is counted: the padding's NULs go.
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

}  // namespace simulator
