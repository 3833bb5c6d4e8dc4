// ShutdownNetwork and OpenNewUrl run wholly under the fault guard; their
// bodies hold nothing that needs a destructor.
#include <cstddef>

#include "autocheck/runtime/command_steps.h"
#include "cutil/text.h"
#include "cutil/url_text.h"
#include "cutil/xml.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "os/event.h"
#include "os/fault.h"

namespace {

// Created and acted on by the product's 802.1x side, never by us.
constexpr char kForceCutEvent[] = "Event Admin Force Cut Net";
constexpr char kLogonElsewhereEvent[] = "Event Name User Logon On Other Computer";
constexpr std::size_t kUrlBufferSize = 1024;
constexpr int kMaxUrlBytes = 1000;

void shutdown_network(void* context) {
    const auto* command = static_cast<const XmlNode*>(context);
    const char* type = cutil_xml_get(command, "TARN/ShutdownType");
    const char* option = cutil_xml_get(command, "TARN/Option");
    if (!cutil_str_iequal(type, "802.1x")) return;
    COMMAND_TRACE(kTraceInfo, "收到网络断开请求: %s", type);
    const char* event_name = kLogonElsewhereEvent;
    if (cutil_str_iequal(option, "ForceShutdown")) {
        COMMAND_TRACE(kTraceInfo, "管理员强制下线此电脑");
        event_name = kForceCutEvent;
    } else {
        COMMAND_TRACE(kTraceInfo, "认证用户已经在其它地方登录");
    }
    // While the 802.1x side has not created the event there is no one to tell.
    const os::Handle event = os::event_open(event_name);
    if (event == nullptr) return;
    os::event_set(event);
    os::event_close(event);
}

void open_new_url(void* context) {
    const auto* command = static_cast<const XmlNode*>(context);
    const char* url = cutil_xml_get(command, "TARN/Url");
    const char* title = cutil_xml_get(command, "TARN/Title");
    const int width = cutil_xml_get_int(command, "TARN/Width");
    const int height = cutil_xml_get_int(command, "TARN/Height");
    if (url == nullptr || url[0] == '\0' || title == nullptr || title[0] == '\0') return;
    char address[kUrlBufferSize] = {};
    DecodeUrlBase64(url, -1, address, kMaxUrlBytes);
    COMMAND_TRACE(kTraceInfo, "收到请求打开URL： %s", address);
    // A file, share or program named by the server would run with the user's
    // rights: only web pages open.
    if (!cutil_url_is_web(address)) {
        COMMAND_TRACE(kTraceError, "拒绝打开不是 http 或 https 的地址: %s", address);
        return;
    }
    // Width and height go on as given: -1 when the server sent none.
    OpenUrlInTarnHtmlDlg(title, "", address, nullptr, width, height, 1, 0);
}

}  // namespace

namespace server_command {

int ShutdownNetwork(const XmlNode* command, bool) {
    if (os::fault_guard(&shutdown_network, const_cast<XmlNode*>(command)) != os::Fault::kNone) {
        COMMAND_TRACE(kTraceInfo, "处理 ShutdownNetwork 发生异常");
    }
    return 0;
}

int OpenNewUrl(const XmlNode* command, bool) {
    if (os::fault_guard(&open_new_url, const_cast<XmlNode*>(command)) != os::Fault::kNone) {
        COMMAND_TRACE(kTraceInfo, "处理 OpenNewUrl 发生异常");
    }
    return 0;
}

}  // namespace server_command
