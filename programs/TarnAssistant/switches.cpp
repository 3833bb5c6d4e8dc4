#include "programs/TarnAssistant/switches.h"

#include <cstring>

#include "cutil/text.h"

namespace assistant {
namespace {

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

void take(const std::string& piece, Switches* switches) {
    static constexpr char kLink[] = "-cl:";
    const struct {
        const char* text;
        bool Switches::*flag;
    } kFlags[] = {
        {"-logon", &Switches::logon},
        {"-user", &Switches::user},
        {"-install", &Switches::install},
        {"-u", &Switches::uninstall},
    };
    if (piece.empty()) return;
    for (const auto& flag : kFlags) {
        if (cutil_str_iequal(piece.c_str(), flag.text)) {
            switches->*flag.flag = true;
            return;
        }
    }
    if (cutil_str_niequal(piece.c_str(), kLink, sizeof kLink - 1)) {
        switches->link = true;
        switches->link_name = trimmed(piece.substr(sizeof kLink - 1));
        return;
    }
    switches->unknown.push_back(piece);
}

}  // namespace

Switches parse_switches(int argc, const char* const* argv) {
    // The shell may hand "-cl:My Link|-install" over as several arguments:
    // they are joined again before the line is cut at each "|".
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        if (!line.empty()) line += ' ';
        line += argv[i];
    }
    Switches switches;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t bar = line.find('|', begin);
        const std::string piece = trimmed(line.substr(begin, bar - begin));
        // Blank-separated switches in one piece ("-logon -user") count one by one,
        // unless the piece is a link whose name may hold blanks.
        if (cutil_str_niequal(piece.c_str(), "-cl:", 4) || piece.find(' ') == std::string::npos) {
            take(piece, &switches);
        } else {
            std::size_t at = 0;
            while (at < piece.size()) {
                const std::size_t blank = piece.find(' ', at);
                take(trimmed(piece.substr(at, blank - at)), &switches);
                if (blank == std::string::npos) break;
                at = blank + 1;
            }
        }
        if (bar == std::string::npos) break;
        begin = bar + 1;
    }
    return switches;
}

}  // namespace assistant
