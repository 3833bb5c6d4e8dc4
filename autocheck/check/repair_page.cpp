#include "autocheck/check/repair_page.h"

#include <cstdio>
#include <cstring>

#include "autocheck/check/html_attribute.h"
#include "autocheck/check/repair_page_lists.h"
#include "autocheck/trace_sources.h"
#include "cutil/memory.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/fault.h"
#include "os/file.h"
#include "os/process.h"

namespace {

using autocheck::kSecurityCheckSource;

constexpr char kFunction[] = "OpenRepairPage";
constexpr char kPageFile[] = "RepairPage.html";
constexpr char kAutoRepairMessage[] = "小助手正在对您的系统进行自动修复,点击查看详情!";
constexpr char kDoNotDisturb[] = "免打挠模式，隐藏修复界面";

// One line; a tab stands before each input and before the tail.
constexpr char kPageFormat[] =
    "<HTML><BODY><FORM name=\"opform\" METHOD=\"POST\" \t"
    "ACTION=\"%s/mod/client_check/submit.php\">"
    "\t<INPUT TYPE=\"hidden\" NAME=\"deviceid\" value='%d'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"roleid\" value='%d'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"policyid\" value='%d'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"itemsid\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"checkres\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"processtime\" value='%d'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"user_name\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"password\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"is_auto_auth\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"is_safecheck\" value='1'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"check_from\" value='assistant'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"auth_type\" value='%s'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"repair\" value='%d'>"
    "\t<INPUT TYPE=\"hidden\" NAME=\"from\" value='assistant'>"
    "\t</FORM><script>document.opform.submit();</script></BODY></HTML>";
// Beyond the two lists and the credentials, the page buffer has this much
// room for everything else; a longer page is cut.
constexpr std::size_t kPageRoom = 1116;

constexpr std::size_t kIdentifierSize = 64;
constexpr std::size_t kCredentialSize = 520;
constexpr std::size_t kEncodedCredentialSize = 1024;  // more than 520 bytes decode to

// The texts of the page, escaped for their attribute values.
enum PageText { kItems, kResults, kUserName, kPassword, kWebUrl, kAuthType, kAutoAuth, kTexts };

struct Settings {
    int device_id = 0;
    int role_id = 0;
    int policy_id = 0;
    int is_disturb = 0;
    char web_url[kPathSize] = "Failed";
    char auth_type[kIdentifierSize] = "Guest";
    char auto_auth[kIdentifierSize] = "Yes";
    char user_name[kCredentialSize] = "";
    char password[kCredentialSize] = "";
};

// Everything the guarded call allocates is held here and released after the
// guard returns, also when a fault abandoned the call.
struct RepairCall {
    const XmlNode* result = nullptr;
    int automatic = 0;
    os::Handle* process = nullptr;
    repair_page::Lists lists;
    char* texts[kTexts] = {};
    char* page = nullptr;
    os::Handle file = nullptr;
};

void stop(int line, const char* message) {
    LogTrace(kFunction, kTraceError, kSecurityCheckSource, line, "%s", message);
}

// Stored in the URL-safe Base64 form; empty when absent.
void read_credential(const char* key, char* decoded) {
    char encoded[kEncodedCredentialSize] = "";
    ReadConfigText(key, encoded, sizeof encoded);
    DecodeUrlBase64(encoded, -1, decoded, static_cast<int>(kCredentialSize));
}

bool read_settings(Settings* settings) {
    ReadConfigInt("DeviceId", &settings->device_id);
    if (settings->device_id == 0) {
        stop(__LINE__, "没有取到DeviceId,设备可能没有注册,不打开修复页面");
        return false;
    }
    ReadConfigInt("RoleId", &settings->role_id);
    if (settings->role_id == 0) {
        stop(__LINE__, "没有取到RoleId,不打开修复页面");
        return false;
    }
    ReadConfigInt("PolicyId", &settings->policy_id);
    if (settings->policy_id == 0) {
        stop(__LINE__, "没有取到PolicyId,不打开修复页面");
        return false;
    }
    ReadConfigInt("IsDisturb", &settings->is_disturb);
    ReadConfigText("WebUrl", settings->web_url, sizeof settings->web_url);
    if (std::strcmp(settings->web_url, "Failed") == 0) {
        stop(__LINE__, "没有取到检查页面");
        return false;
    }
    ReadConfigText("LastAuthType", settings->auth_type, sizeof settings->auth_type);
    ReadConfigText("IsAutoAuth", settings->auto_auth, sizeof settings->auto_auth);
    read_credential("UserName", settings->user_name);
    read_credential("Password", settings->password);
    return true;
}

// Escapes the texts and formats the page into call->page.
bool format_page(RepairCall* call, const Settings& settings) {
    const char* const raw[kTexts] = {
        call->lists.items.text, call->lists.results.text, settings.user_name, settings.password,
        settings.web_url,       settings.auth_type,       settings.auto_auth};
    for (int i = 0; i < kTexts; ++i) {
        call->texts[i] = html_attribute_escape(raw[i]);
        if (call->texts[i] == nullptr) {
            stop(__LINE__, "内存不足");
            return false;
        }
    }
    // The room for the other texts is kept as it was before escaping: only
    // what escaping adds to them is added to it.
    std::size_t size = kPageRoom;
    for (int i = 0; i < kTexts; ++i) {
        const std::size_t escaped = std::strlen(call->texts[i]);
        size += i <= kPassword ? escaped : escaped - std::strlen(raw[i]);
    }
    call->page = static_cast<char*>(MemAlloc_fre(size));
    if (call->page == nullptr) {
        stop(__LINE__, "内存不足");
        return false;
    }
    int process_time = cutil_xml_get_int(call->result, "TARN/CheckUsedSecond");
    if (process_time < 1) process_time = 5;
    std::snprintf(call->page, size, kPageFormat, call->texts[kWebUrl], settings.device_id,
                  settings.role_id, settings.policy_id, call->texts[kItems], call->texts[kResults],
                  process_time, call->texts[kUserName], call->texts[kPassword],
                  call->texts[kAutoAuth], call->texts[kAuthType], call->automatic != 0 ? 0 : 1);
    return true;
}

// Replaces the page file; it holds the decoded password, so only its owner
// may read it.
bool write_page(RepairCall* call, char* path) {
    if (gateway::assistant_file_path(kPageFile, path)) {
        call->file = os::file_create_write_owner_only(path, os::kFileShareNone);
    }
    const bool written =
        call->file != nullptr && os::file_write(call->file, call->page, std::strlen(call->page));
    if (call->file != nullptr) os::file_close(call->file);
    call->file = nullptr;
    if (!written) stop(__LINE__, "创建HTML修复页面文件失败");
    return written;
}

void open_dialog(const RepairCall& call, const Settings& settings, const char* page_path) {
    os::Handle started = nullptr;
    os::Handle* out = call.process != nullptr ? &started : nullptr;
    int opened = 0;
    if (settings.is_disturb != 0) {
        Call_TarnLogToFile("%s", kDoNotDisturb);
        stop(__LINE__, kDoNotDisturb);
        opened = OpenUrlInTarnHtmlDlg(kAutoRepairTitle, "", page_path, out, -1, -1, 0, 0);
    } else if (call.automatic != 0) {
        opened = OpenUrlInTarnHtmlDlg(kAutoRepairTitle, kAutoRepairMessage, page_path, out, -1, -1,
                                      0, 1);
    } else {
        opened = OpenUrlInTarnHtmlDlg(kManualRepairTitle, "", page_path, out, 0, 0, 3, 0);
    }
    if (opened != 0 && call.process != nullptr) *call.process = started;
}

void open_repair_page(void* context) {
    RepairCall* call = static_cast<RepairCall*>(context);
    if (call->result == nullptr || cutil_xml_count(call->result, "TARN/Result") == 0) {
        stop(__LINE__, "没有检查项结果,不打开修复页面");
        return;
    }
    Settings settings;
    if (!read_settings(&settings)) return;
    if (!repair_page::build_lists(call->result, &call->lists)) return;
    if (call->lists.items.count == 0 || call->lists.results.count == 0) return;
    if (!format_page(call, settings)) return;
    char page_path[kPathSize];
    if (!write_page(call, page_path)) return;
    open_dialog(*call, settings, page_path);
}

}  // namespace

void OpenRepairPage(const XmlNode* result, int automatic, os::Handle* process) {
    RepairCall call;
    call.result = result;
    call.automatic = automatic;
    call.process = process;
    if (os::fault_guard(&open_repair_page, &call) != os::Fault::kNone) {
        stop(__LINE__, "发生异常");
    }
    repair_page::release(&call.lists);
    for (char* text : call.texts) {
        if (text != nullptr) MemFree_fre(text);
    }
    if (call.page != nullptr) MemFree_fre(call.page);
    if (call.file != nullptr) os::file_close(call.file);
}
