#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "autocheck/runtime/tray_actions.h"
#include "autocheck/trace_sources.h"
#include "cutil/file.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/launch.h"
#include "os/ui.h"

namespace tray_action {
namespace {

// MessageBoxA flags and answers.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbTopmost = 0x40000;
constexpr int kIdOk = 1;

constexpr int kShowHidden = 0;
constexpr int kShowNormal = 1;

}  // namespace

void trace(int level, int line, const char* message) {
    LogTrace("EventDoingThread", level, autocheck::kAutoCheckSource, line, "%s", message);
}

bool confirm(const char* question) {
    return os::message_box(question, kCaption, kMbOkCancel | kMbIconInformation | kMbTopmost) ==
           kIdOk;
}

void tell(const char* text, const char* caption) {
    os::message_box(text, caption, kMbOk);
}

bool read_text(const char* key, char (&value)[kPathSize]) {
    value[0] = '\0';
    ReadConfigText(key, value, sizeof value);
    return value[0] != '\0';
}

bool flag_set(const char* key) {
    int value = 0;
    ReadConfigInt(key, &value);
    return value != 0;
}

void format_cut(char* text, std::size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, size, format, arguments);
    va_end(arguments);
}

void web_address(char* address, std::size_t size, const char* web_url, const char* format, ...) {
    const std::size_t length = std::strlen(web_url);
    const bool has_slash = length > 0 && web_url[length - 1] == '/';
    const int written = std::snprintf(address, size, "%s%s", web_url, has_slash ? "" : "/");
    if (written < 0 || static_cast<std::size_t>(written) >= size) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(address + written, size - static_cast<std::size_t>(written), format, arguments);
    va_end(arguments);
}

void open_page(const char* title, const char* url, int width, int height) {
    OpenUrlInTarnHtmlDlg(title, "", url, nullptr, width, height, kShowNormal, 0);
}

void renew_ip_lease() {
    LaunchProgram(nullptr, "ipconfig.exe", "-renew", kShowHidden);
}

void cancel_auto_auth(const Context& context) {
    Call_TarnWriteConfig("IsAutoAuth", "No");
    cutil_file_Delete(context.web_auth_type_tmp);
    Call_DelDynamicMenu();
}

}  // namespace tray_action
