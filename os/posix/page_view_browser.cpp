// The default browser and the process's parameters on POSIX.
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/page_view.h"
#include "os/posix/internal.h"
#include "os/process.h"

namespace os {

std::string page_address(const char* url) {
    if (url == nullptr) return {};
    const std::string text(url);
    if (text.find("://") != std::string::npos || text.rfind("about:", 0) == 0) return text;
    // A file named "-x.html" must not read as an option of the program it goes to.
    if (text[0] == '-') return "./" + posix::native_path(url);
    return posix::native_path(url);
}

bool page_open_in_browser(const char* url, std::string* why) {
    // xdg-open forks the browser and ends; its exit code says whether a
    // handler was found.
    const std::string parameters = command_argument_quote(url);
    Handle opener = nullptr;
    if (!process_shell_open("xdg-open", parameters.c_str(), 1, &opener) || opener == nullptr) {
        *why = "xdg-open cannot be started";
        return false;
    }
    std::uint32_t code = 1;
    const bool ended = handle_wait(opener, 30000) && process_exit_code(opener, &code);
    handle_close(opener);
    if (!ended) {
        *why = "xdg-open did not end";
        return false;
    }
    if (code != 0) {
        *why = "xdg-open failed with exit code " + std::to_string(code);
        return false;
    }
    return true;
}

std::string page_view_parameters(int argc, char** argv, const char* const* quoted_keys) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        const char* argument = argv[i];
        const char* equals = std::strchr(argument, '=');
        bool quote = false;
        for (const char* const* key = quoted_keys; equals != nullptr && *key != nullptr; ++key) {
            const std::size_t length = std::strlen(*key);
            if (static_cast<std::size_t>(equals - argument) == length &&
                std::strncmp(argument, *key, length) == 0) {
                quote = true;
            }
        }
        if (quote) {
            text.append(argument, static_cast<std::size_t>(equals - argument) + 1);
            text += '"';
            text += equals + 1;
            text += '"';
        } else {
            text += argument;
        }
    }
    return text;
}

}  // namespace os
