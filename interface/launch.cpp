#include "interface/launch.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cutil/memory.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/sibling_lookup.h"
#include "os/process.h"

using gateway::kTraceSource;

namespace {

// The dialog splits its command line at these keys; the title stands bare.
constexpr const char* kDialogKeys[] = {
    " Url=", " Icon=", " Title=", " Width=", " Height=", " ShowSysIcon=", " SysIconMsg="};

// A text the dialog would read as more than one value: a quote ends a quoted
// value early, a key starts another argument.
bool could_add_argument(const char* text) {
    if (std::strchr(text, '"') != nullptr) return true;
    for (const char* key : kDialogKeys) {
        if (cutil_str_istr(text, key) != nullptr) return true;
    }
    return false;
}

// A quote inside an address is written the way a URL may carry it; so are
// backslashes that end it, which would otherwise escape the closing quote
// for a program that splits its command line into arguments.
std::string quote_free_url(const char* url) {
    std::string escaped;
    for (const char* c = url; *c != '\0'; ++c) {
        if (*c == '"') {
            escaped += "%22";
        } else {
            escaped += *c;
        }
    }
    std::size_t trailing = 0;
    while (trailing < escaped.size() && escaped[escaped.size() - 1 - trailing] == '\\') ++trailing;
    escaped.resize(escaped.size() - trailing);
    for (std::size_t i = 0; i < trailing; ++i) escaped += "%5C";
    return escaped;
}

}  // namespace

int LaunchProgram(os::Handle* process, const char* program, const char* parameters,
                  int show_state) {
    if (process != nullptr) *process = nullptr;
    os::Handle started = nullptr;
    if (!os::process_shell_open(program, parameters, show_state, &started)) return 0;
    if (process != nullptr) {
        *process = started;
    } else if (started != nullptr) {
        os::handle_close(started);
    }
    return 1;
}

int OpenUrlInTarnHtmlDlg(const char* title, const char* tray_message, const char* url,
                         os::Handle* process, int width, int height, int show_state,
                         int show_tray_icon) {
    // A missing text is an empty one rather than a fault.
    if (title == nullptr) title = "";
    if (tray_message == nullptr) tray_message = "";
    if (url == nullptr) url = "";
    // Pages pushed by the server name their own titles.
    if (could_add_argument(title) || could_add_argument(tray_message)) {
        LogTrace("OpenUrlInTarnHtmlDlg", kTraceError, kTraceSource, __LINE__,
                 "页面标题或托盘提示中有引号或参数名, 不打开页面%s", url);
        return 0;
    }
    const std::string address = quote_free_url(url);

    char program[kPathSize];
    char icon[kPathSize];
    if (!gateway::assistant_file_path(sibling::kHtmlDlgExe, program) ||
        !gateway::assistant_file_path(sibling::kAssistantIcon, icon)) {
        return 0;
    }

    // The fixed text and three numbers take well under the 260 spare bytes.
    const std::size_t size =
        address.size() + std::strlen(tray_message) + std::strlen(title) + std::strlen(icon) + 260;
    char* command_line = static_cast<char*>(MemAlloc_fre(size));
    if (command_line == nullptr) {
        LogTrace("OpenUrlInTarnHtmlDlg", kTraceError, kTraceSource, __LINE__, "内存不足");
        return 0;
    }
    std::snprintf(command_line, size,
                  "Url=\"%s\" Icon=\"%s\" Title=%s Width=%d Height=%d ShowSysIcon=%d "
                  "SysIconMsg=\"%s\"",
                  address.c_str(), icon, title, width, height, show_tray_icon, tray_message);
    LogTrace("OpenUrlInTarnHtmlDlg", kTraceInfo, kTraceSource, __LINE__, "OpenUrlInTarnHtmlDlg %s",
             command_line);

    const int started = LaunchProgram(process, program, command_line, show_state);
    MemFree_fre(command_line);
    if (started == 0) {
        LogTrace("OpenUrlInTarnHtmlDlg", kTraceError, kTraceSource, __LINE__, "打开页面%s失败",
                 url);
        return 0;
    }
    return 1;
}
