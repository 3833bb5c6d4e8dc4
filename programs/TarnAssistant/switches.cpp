#include "programs/TarnAssistant/switches.h"

#include <cstring>

#include "cutil/text.h"
#include "interface/command_switches.h"

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
    // they are joined again, then cut as the library cuts its command line.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        if (!line.empty()) line += ' ';
        line += argv[i];
    }
    Switches switches;
    for (const std::string& piece : gateway::switch_pieces(line)) take(piece, &switches);
    return switches;
}

}  // namespace assistant
