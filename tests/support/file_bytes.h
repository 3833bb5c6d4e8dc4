// Reading back what the code under test wrote.
#pragma once

#include <cstdio>
#include <string>

namespace quarn::test {

// The bytes of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            bytes.append(chunk, got);
        }
        std::fclose(file);
    }
    return bytes;
}

}  // namespace quarn::test
