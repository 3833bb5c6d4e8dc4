// Double of the page dialog TarnHtmlDlg.exe: appends its command line to the
// file named by QUARN_FAKE_HTMLDLG_RECORD ("<pid>\t<title>\t<command line>"),
// then owns a top-level window with the title of its "Title=" argument for
// 30 seconds (QUARN_FAKE_HTMLDLG_LIFETIME_MS, when set, gives another
// lifetime in milliseconds), or until it is ended.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/process.h"
#include "os/system.h"
#include "os/time.h"
#include "os/ui.h"

namespace {

constexpr std::uint32_t kDefaultLifetimeMs = 30000;

std::uint32_t lifetime_ms() {
    char text[32] = "";
    const std::size_t length = os::env_get("QUARN_FAKE_HTMLDLG_LIFETIME_MS", text, sizeof text);
    if (length == 0 || length >= sizeof text) return kDefaultLifetimeMs;
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

// The title runs from "Title=" to " Width=": the dialog's command line does
// not quote it.
std::string title_of(const std::string& command_line) {
    const std::size_t start = command_line.find("Title=");
    if (start == std::string::npos) return {};
    const std::size_t from = start + 6;
    const std::size_t end = command_line.find(" Width=", from);
    return command_line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

}  // namespace

int main() {
    const std::string command_line = os::process_command_line();
    const std::string title = title_of(command_line);
    char record[1024] = "";
    if (os::env_get("QUARN_FAKE_HTMLDLG_RECORD", record, sizeof record) > 0 &&
        std::strlen(record) < sizeof record) {
        if (FILE* file = std::fopen(record, "ab")) {
            std::fprintf(file, "%u\t%s\t%s\n", static_cast<unsigned>(os::process_id()),
                         title.c_str(), command_line.c_str());
            std::fclose(file);
        }
    }
    // A real top-level window on Windows, the per-user title registry on POSIX.
    if (!os::window_register_title(title.c_str())) return 1;
    os::sleep_ms(lifetime_ms());
    os::window_unregister_title(title.c_str());
    return 0;
}
