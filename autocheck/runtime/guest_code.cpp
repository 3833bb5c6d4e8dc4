#include "autocheck/runtime/guest_code.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "autocheck/bound_modules.h"
#include "autocheck/check/html_attribute.h"
#include "autocheck/trace_sources.h"
#include "cutil/memory.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/url_text.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "os/file.h"
#include "os/memory.h"

namespace {

using autocheck::kAutoCheckSource;

constexpr char kFunction[] = "RequestGuestMask";
constexpr char kPageFile[] = "GuestMaskPage.html";
constexpr char kPageTitle[] = "入网小助手-来宾上网码申请";
constexpr char kRequestFormat[] =
    "%s/mod/client_check/ajax.php?tradecode=get_guest_netcode&user_name=%s&device_id=%s";
constexpr std::size_t kRequestRoom = 78;  // the fixed text and its terminator
constexpr char kPageFormat[] =
    "<Html><body style=\"text-align:center\" scroll=\"auto\"><br>%s<br><br><B><U>"
    "<font color=red>%s</font></U></B></body></html>";
constexpr std::size_t kPageRoom = 379;

constexpr char kReauthenticate[] = "申请来宾上网码失败，请重新做身份认证以修复此问题";
constexpr char kNoCode[] = "取来宾上网码失败";
constexpr char kCodeMarker[] = "Code";
constexpr char kExplanationMarker[] = "__res =";

constexpr std::size_t kTextSize = 260;
constexpr std::size_t kAuthTypeSize = 64;
constexpr std::size_t kUserNameSize = 520;
constexpr std::size_t kHeadingSize = 256;

struct HeapDeleter {
    void operator()(char* block) const { MemFree_fre(block); }
};
using HeapText = std::unique_ptr<char, HeapDeleter>;

struct GlobalDeleter {
    void operator()(char* block) const { os::global_free(block); }
};
using GlobalText = std::unique_ptr<char, GlobalDeleter>;

void refuse(int line, const char* message) {
    LogTrace(kFunction, kTraceError, kAutoCheckSource, line, "%s", message);
}

void copy_bounded(char* destination, std::size_t size, const char* text) {
    std::snprintf(destination, size, "%s", text);
}

// What the page shows: a heading and the code, empty when there is none.
struct Outcome {
    char heading[kHeadingSize] = "";
    char code[kTextSize] = "";
};

// Asks the server; false only when the request could not even be built.
bool ask_server(const char* web_url, const char* user_name, const char* device_id,
                Outcome* outcome) {
    const std::size_t size =
        std::strlen(web_url) + std::strlen(user_name) + std::strlen(device_id) + kRequestRoom;
    const HeapText url(static_cast<char*>(MemAlloc_fre(size)));
    if (url == nullptr) {
        refuse(__LINE__, "内存分配失败， USER身份认证失败");
        return false;
    }
    // The stored user name is already in its URL-safe form: sent as stored.
    std::snprintf(url.get(), size, kRequestFormat, web_url, user_name, device_id);

    char* received = nullptr;
    const int answered = HttpGet != nullptr ? HttpGet(url.get(), &received) : 0;
    const GlobalText answer(received);
    if (answered == 0 || answer == nullptr) {
        refuse(__LINE__, kNoCode);
        copy_bounded(outcome->heading, sizeof outcome->heading,
                     "申请来宾上网码失败, 请检查您的网络是否正常");
        return true;
    }
    if (ParseGuestCode(answer.get(), outcome->code) != 0) {
        copy_bounded(outcome->heading, sizeof outcome->heading, "申请来宾上网码成功:");
        return true;
    }
    outcome->code[0] = '\0';
    refuse(__LINE__, kNoCode);
    // The server may explain its refusal after the marker.
    const char* explanation = cutil_str_istr(answer.get(), kExplanationMarker);
    copy_bounded(outcome->heading, sizeof outcome->heading,
                 explanation != nullptr ? explanation + std::strlen(kExplanationMarker)
                                        : "申请来宾上网码失败");
    return true;
}

// Fills `outcome` from the stored settings and the server's answer; false
// when no page can be made.
bool decide(Outcome* outcome) {
    char device_id[kTextSize] = "0";
    ReadConfigText("DeviceId", device_id, sizeof device_id);
    if (device_id[0] == '\0' || device_id[0] == '0') {
        refuse(__LINE__, "没有找到设备ID");
        copy_bounded(outcome->heading, sizeof outcome->heading,
                     "申请来宾上网码失败，此设备可能没有注册");
        return true;
    }
    char auth_type[kAuthTypeSize] = "Guest";
    ReadConfigText("LastAuthType", auth_type, sizeof auth_type);
    if (cutil_str_iequal(auth_type, "Guest") != 0) {
        refuse(__LINE__, "最后认证类型为Guest或此用户还没有认证通过");
        copy_bounded(outcome->heading, sizeof outcome->heading, "此设备目前没有权限申请来宾上网码");
        return true;
    }
    // Absent and empty alike: there is no server to ask.
    char web_url[kTextSize] = "";
    ReadConfigText("WebUrl", web_url, sizeof web_url);
    if (web_url[0] == '\0') {
        refuse(__LINE__, "没有找到检查页面");
        copy_bounded(outcome->heading, sizeof outcome->heading, kReauthenticate);
        return true;
    }
    char user_name[kUserNameSize] = "";
    if (ReadConfigText("UserName", user_name, sizeof user_name) == 0) {
        refuse(__LINE__, "没有找到用户名");
        copy_bounded(outcome->heading, sizeof outcome->heading, kReauthenticate);
        return true;
    }
    // The stored id stays one query value, whatever it holds.
    return ask_server(web_url, user_name, cutil_url_escape(device_id).c_str(), outcome);
}

// The heading and the code may come from the server: escaped, so that its
// text stays text in a page the dialog shows with local rights.
HeapText format_page(const Outcome& outcome) {
    const HeapText heading(html_attribute_escape(outcome.heading));
    const HeapText code(html_attribute_escape(outcome.code));
    if (heading == nullptr || code == nullptr) return nullptr;
    const std::size_t size = std::strlen(heading.get()) + std::strlen(code.get()) + kPageRoom;
    HeapText page(static_cast<char*>(MemAlloc_fre(size)));
    if (page != nullptr) std::snprintf(page.get(), size, kPageFormat, heading.get(), code.get());
    return page;
}

// Replaces the page file. The code admits a visitor to the network, so only
// the file's owner may read it.
bool write_page(const char* page, char* path) {
    if (!gateway::assistant_file_path(kPageFile, path)) return false;
    const os::Handle file = os::file_create_write_owner_only(path, os::kFileShareNone);
    if (file == nullptr) return false;
    const bool written = os::file_write(file, page, std::strlen(page));
    os::file_close(file);
    return written;
}

}  // namespace

int ParseGuestCode(const char* answer, char* code) {
    const char* marker = cutil_str_istr(answer, kCodeMarker);
    if (marker == nullptr) return 0;
    const char* open = std::strchr(marker + std::strlen(kCodeMarker), '\'');
    if (open == nullptr) return 0;
    const char* close = std::strchr(open + 1, '\'');
    if (close == nullptr) return 0;
    if (code != nullptr) {
        std::size_t length = static_cast<std::size_t>(close - open - 1);
        if (length > kTextSize - 1) length = kTextSize - 1;
        std::memcpy(code, open + 1, length);
        code[length] = '\0';
    }
    return 1;
}

int RequestGuestMask() {
    Outcome outcome;
    if (!decide(&outcome)) return 0;
    const HeapText page = format_page(outcome);
    if (page == nullptr) {
        refuse(__LINE__, "内存不足");
        return 0;
    }
    char path[kPathSize] = "";
    if (!write_page(page.get(), path)) {
        refuse(__LINE__, "创建HTML修复页面文件失败");
        return 0;
    }
    OpenUrlInTarnHtmlDlg(kPageTitle, "", path, nullptr, 320, 160, 1, 0);
    return 1;
}
