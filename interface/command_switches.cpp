#include "interface/command_switches.h"

#include "cutil/text.h"

namespace gateway {
namespace {

constexpr char kBlanks[] = " \t\r\n";

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

void add_piece(const std::string& piece, std::vector<std::string>* pieces) {
    const std::string kept = trimmed(piece);
    if (!kept.empty()) pieces->push_back(kept);
}

}  // namespace

std::vector<std::string> switch_pieces(const std::string& arguments) {
    std::string line;
    for (const char c : arguments) {
        if (c != '"') line += c;
    }
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t bar = line.find('|', begin);
        const std::string part = trimmed(line.substr(begin, bar - begin));
        if (cutil_str_niequal(part.c_str(), "-cl:", 4)) {
            add_piece(part, &pieces);
        } else {
            for (std::size_t at = 0; at < part.size();) {
                const std::size_t blank = part.find_first_of(kBlanks, at);
                add_piece(part.substr(at, blank - at), &pieces);
                if (blank == std::string::npos) break;
                at = blank + 1;
            }
        }
        if (bar == std::string::npos) break;
        begin = bar + 1;
    }
    return pieces;
}

const char* program_arguments(const char* command_line) {
    if (command_line == nullptr) return "";
    const char* p = command_line;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    return p;
}

bool command_line_has_switch(const char* command_line, const char* name) {
    for (const std::string& piece : switch_pieces(program_arguments(command_line))) {
        if (cutil_str_iequal(piece.c_str(), name)) return true;
    }
    return false;
}

}  // namespace gateway
