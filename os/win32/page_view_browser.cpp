// The default browser and the process's parameters on Windows.
// clang-format off
#include <windows.h>
#include <shellapi.h>  // needs windows.h first
// clang-format on

#include <string>

#include "os/page_view.h"

namespace os {

std::string page_address(const char* url) {
    return url != nullptr ? url : "";
}

bool page_open_in_browser(const char* url, std::string* why) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return true;
    *why = "ShellExecute failed with code " + std::to_string(static_cast<long long>(result));
    return false;
}

std::string page_view_parameters(int, char**, const char* const*) {
    // The raw line keeps the quoting the launcher wrote; the program token
    // ends at its closing quote, or at the first blank when unquoted.
    const char* line = GetCommandLineA();
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"') ++line;
        if (*line == '"') ++line;
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
    }
    return line;
}

}  // namespace os
