#include "programs/TarnHtmlDlg/dialog.h"

#include <cstring>

#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/url_text.h"
#include "os/page_view.h"
#include "os/process.h"
#include "os/system.h"
#include "programs/TarnHtmlDlg/command_line.h"

namespace html_dlg {
namespace {

struct Session {
    explicit Session(const DialogRequest* r) : request(r) {}
    const DialogRequest* request;
    bool handed_over = false;
};

// Splits "program rest" where the program may be quoted.
void split_command(const std::string& command, std::string* program, std::string* rest) {
    std::size_t end;
    if (!command.empty() && command[0] == '"') {
        end = command.find('"', 1);
        *program = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        end = end == std::string::npos ? command.size() : end + 1;
    } else {
        end = command.find(' ');
        if (end == std::string::npos) end = command.size();
        *program = command.substr(0, end);
    }
    const std::size_t next = command.find_first_not_of(' ', end);
    *rest = next == std::string::npos ? "" : command.substr(next);
}

// What the dialog shows or hands on: a web page, or a page file of this
// machine (".htm", ".html"; the agent writes its pages into the assistant
// directory). Anything else (a program, a script, a share, another scheme)
// would be run by the shell with the user's rights.
bool is_showable(const std::string& url) {
    if (cutil_url_is_web(url.c_str())) return true;
    if (url.size() < 2 || url.find("://") != std::string::npos) return false;
    const bool share = (url[0] == '\\' || url[0] == '/') && (url[1] == '\\' || url[1] == '/');
    const std::size_t colon = url.find(':');
    // A colon only after a drive letter: "file:", "javascript:" and the like are schemes.
    const bool scheme = colon != std::string::npos && colon != 1;
    const std::size_t dot = url.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : url.substr(dot);
    const bool page =
        cutil_str_iequal(extension.c_str(), ".html") || cutil_str_iequal(extension.c_str(), ".htm");
    for (const char c : url) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '"') return false;
    }
    return !share && !scheme && page;
}

// The configured stand-in browser, or the system's default one.
bool hand_over(const std::string& url) {
    char command[2048] = "";
    const std::size_t length = os::env_get(kBrowserVariable, command, sizeof command);
    if (length > 0 && length < sizeof command) {
        std::string program;
        std::string parameters;
        split_command(command, &program, &parameters);
        if (!parameters.empty()) parameters += ' ';
        parameters += os::command_argument_quote(url);
        if (!os::process_shell_open(program.c_str(), parameters.c_str(), 1, nullptr)) {
            LogTrace("hand_over", kTraceError, kTraceSource, __LINE__, "无法启动浏览器命令 %s",
                     command);
            return false;
        }
        return true;
    }
    std::string why;
    if (!os::page_open_in_browser(url.c_str(), &why)) {
        LogTrace("hand_over", kTraceError, kTraceSource, __LINE__, "默认浏览器无法打开页面 %s: %s",
                 url.c_str(), why.c_str());
        return false;
    }
    return true;
}

void no_view(Session* session, const char* why) {
    const DialogRequest& request = *session->request;
    LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "没有浏览器视图: %s", why);
    if (request.hidden()) {
        // The hidden page would have posted its form by itself; a browser
        // window popping up in its place is not what the user was promised.
        LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__,
                 "隐藏的页面对话框不打开浏览器, 页面 %s 没有显示", request.url.c_str());
        return;
    }
    session->handed_over = hand_over(request.url);
    if (session->handed_over) {
        LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "页面已交给默认浏览器: %s",
                 request.url.c_str());
    }
}

void observe(void* context, os::PageViewEvent event, const char* text) {
    auto* session = static_cast<Session*>(context);
    switch (event) {
        case os::PageViewEvent::kWindowCreated:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "窗口已创建: %s", text);
            break;
        case os::PageViewEvent::kNoView:
            no_view(session, text);
            break;
        case os::PageViewEvent::kTrayFailed:
            LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "托盘图标无法显示: %s",
                     text);
            break;
        case os::PageViewEvent::kTrayNote:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "托盘提示: %s", text);
            break;
        case os::PageViewEvent::kLoadFinished:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "页面加载完成: %s", text);
            break;
        case os::PageViewEvent::kTitle:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "页面标题: %s", text);
            break;
        case os::PageViewEvent::kLoadFailed:
            LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "页面加载失败: %s", text);
            break;
        case os::PageViewEvent::kClosedByPage:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "页面关闭了窗口");
            break;
        case os::PageViewEvent::kHiddenLimit:
            LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__,
                     "隐藏的页面对话框到时间了, 结束");
            break;
        case os::PageViewEvent::kShown:
            LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "从托盘图标显示窗口");
            break;
    }
}

}  // namespace

int run_dialog(const std::string& parameters) {
    DialogRequest request;
    std::string error;
    if (!parse_command_line(parameters, &request, &error)) {
        LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "命令行格式不对 (%s): %s",
                 error.c_str(), parameters.c_str());
        return kExitBadCommandLine;
    }
    if (!is_showable(request.url)) {
        LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "拒绝打开不是网页的地址: %s",
                 request.url.c_str());
        return kExitRefused;
    }
    request.url = os::page_address(request.url.c_str());
    LogTrace("run_dialog", kTraceInfo, kTraceSource, __LINE__, "打开页面 %s, 标题 %s, %d x %d",
             request.url.c_str(), request.title.c_str(), request.width, request.height);

    os::PageViewRequest view;
    view.url = request.url.c_str();
    view.title = request.title.c_str();
    view.icon_path = request.icon.c_str();
    view.width = request.width;
    view.height = request.height;
    view.hidden = request.hidden();
    view.tray_icon = request.show_tray_icon;
    view.tray_message = request.tray_message.c_str();
    view.hidden_limit_ms = kHiddenLimitMs;
    Session session(&request);
    const os::PageViewResult result = os::page_view_run(view, observe, &session);
    if (result == os::PageViewResult::kNoWindow) {
        LogTrace("run_dialog", kTraceError, kTraceSource, __LINE__, "窗口无法创建");
        if (!session.handed_over) no_view(&session, "no window");
    }
    if (result == os::PageViewResult::kClosed) return kExitDone;
    return session.handed_over ? kExitDone : kExitNotShown;
}

}  // namespace html_dlg
