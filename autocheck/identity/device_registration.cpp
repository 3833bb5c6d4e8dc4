// UpdateDeviceRegisterInfo: the device's description from the
// device-information module, the installed 802.1x client's version, one
// "QueryDevInfo" exchange with the server, and DeviceId and IsForbid from a
// complete answer. Every failure before the answer leaves both keys alone.
#include "autocheck/identity/device_registration.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "cutil/file.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/module_call.h"
#include "interface/server_address.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/system.h"

namespace {

using autocheck::kIdentityAuthSource;

constexpr char kFunction[] = "UpdateDeviceRegisterInfo";
constexpr char kTradeCode[] = "QueryDevInfo";
constexpr char kDot1xClientPath[] = "%ProgramFiles%\\TARN\\TarnDot1xClient.exe";
constexpr char kDeviceInfoArgument[] = "<QUARN><ServerIp>%s</ServerIp><Port>%d</Port></QUARN>";
constexpr std::size_t kVersionSize = 64;

void fail(int line, const char* message) {
    LogTrace(kFunction, kTraceError, kIdentityAuthSource, line, "%s", message);
}

// Texts the module-call bridge hands back live on the standard library heap.
struct StandardFree {
    void operator()(char* text) const { std::free(text); }
};
using StandardText = std::unique_ptr<char, StandardFree>;

// "<base>QuarnCommon.dll", the base being ServerDownPath or, when that is not
// configured, the assistant directory. A path that does not fit whole is
// left empty: a cut one would name another file.
void device_module_path(char* path) {
    char base[kPathSize] = "";
    if (ReadConfigText("ServerDownPath", base, sizeof base) == 0 || base[0] == '\0') {
        fail(__LINE__, "取服务器的Download目录失败，检查可能会出问题");
        GetAssistantDir(base);
    }
    const std::size_t base_length = std::strlen(base);
    const char last = base_length > 0 ? base[base_length - 1] : '\\';
    const char* separator = last == '\\' || last == '/' ? "" : "\\";
    const int length =
        std::snprintf(path, kPathSize, "%s%s%s", base, separator, sibling::kCommonDll);
    if (length < 0 || static_cast<std::size_t>(length) >= kPathSize) path[0] = '\0';
}

// The description the device-information module gives; null (traced) when
// it cannot be had.
XmlDocument query_device_info(const char* module_path, const char* host, int port) {
    char argument[kPathSize];
    std::snprintf(argument, sizeof argument, kDeviceInfoArgument, host, port);
    char* reply = nullptr;
    const bool called =
        module_path[0] != '\0' &&
        CallOneModuleFuncA(module_path, argument, sibling::kGetDeviceInfoName, &reply) != 0;
    // A failed call may still hand back a text saying why: ours to release.
    const StandardText reply_text(reply);
    if (!called) {
        fail(__LINE__, "取设备信息失败");
        return nullptr;
    }
    XmlDocument info(reply_text == nullptr ? nullptr
                                           : cutil_xml_import(reply_text.get(), kIdentityAuthSource,
                                                              kFunction, __LINE__));
    if (info == nullptr) fail(__LINE__, "解析设备信息报文失败");
    return info;
}

// The installed 802.1x client's version; empty when the client, its version
// or a path that fits 259 characters cannot be had.
void dot1x_client_version(char* version) {
    version[0] = '\0';
    char path[kPathSize];
    const std::size_t needed = os::env_expand(kDot1xClientPath, path, sizeof path);
    if (needed == 0 || needed > sizeof path) return;
    if (cutil_file_GetVersion(path, version) == 0) version[0] = '\0';
}

// DoxVersion, TradeCode, then the device description's children, in that
// order; null when memory ran out on the way (a request missing part of the
// description would register another device).
XmlDocument registration_request(const XmlNode* device_info) {
    XmlDocument request = autocheck::new_document(kIdentityAuthSource, kFunction, __LINE__);
    if (request == nullptr) return nullptr;
    char version[kVersionSize];
    dot1x_client_version(version);
    if (!autocheck::append_text(request.get(), "DoxVersion", version) ||
        !autocheck::append_text(request.get(), "TradeCode", kTradeCode) ||
        cutil_xml_copy_children(request.get(), device_info) == nullptr) {
        return nullptr;
    }
    return request;
}

// A node present without text reads as "".
const char* text_of(const XmlNode* node) {
    return node->text != nullptr ? node->text : "";
}

}  // namespace

void UpdateDeviceRegisterInfo() {
    char module_path[kPathSize];
    device_module_path(module_path);
    char web_url[kPathSize];
    char host[kHostSize];
    int port = 0;
    if (!ReadServerAddress(web_url, host, &port)) return fail(__LINE__, "没有找到检查页面");

    XmlDocument device_info = query_device_info(module_path, host, port);
    if (device_info == nullptr) return;
    const XmlDocument request = registration_request(device_info.get());
    device_info.reset();
    if (request == nullptr) return fail(__LINE__, "创建XML报文失败");

    const XmlDocument answer = ServerExchange(host, request.get());
    if (answer == nullptr) return;
    const XmlNode* agent = cutil_xml_find(answer.get(), "TARN/AgentID");
    const XmlNode* forbid = cutil_xml_find(answer.get(), "TARN/IsForbid");
    if (agent == nullptr || forbid == nullptr) return;  // incomplete: nothing changes
    const char* agent_id = text_of(agent);
    const char* is_forbid = text_of(forbid);
    Call_TarnWriteConfig("DeviceId", agent_id);
    Call_TarnWriteConfig("IsForbid", cutil_str_iequal(is_forbid, "Yes") ? "1" : "0");
    Call_TarnLogToFile("设备注册信息: DeviceId %s IsForbid %s", agent_id, is_forbid);
}
