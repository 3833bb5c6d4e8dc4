// SwitchUser: the request to the running assistant, built from the caller's.
#include "autocheck/users/switch_user.h"

#include <cstddef>
#include <cstring>

#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "autocheck/users/assistant_module.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/gateway.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/memory.h"

namespace {

constexpr char kFunction[] = "SwitchUser";
constexpr std::size_t kErrorSize = 120;
constexpr char kModuleFailed[] = "加载模块失败: QuarnAssCommunicate.dll";

// Hands `text` back in a new 120-byte block (cut to fit); 0.
int refuse(char** error, const char* text) {
    if (error == nullptr) return 0;
    auto* block = static_cast<char*>(os::global_alloc(kErrorSize));
    if (block != nullptr) std::strncpy(block, text, kErrorSize - 1);
    *error = block;
    return 0;
}

}  // namespace

int QUARN_STDCALL SwitchUser(const char* request_text, char** error) {
    char path[kPathSize];
    if (!autocheck::ensure_assistant_module(sibling::kCommunicateDll, path)) {
        LogTrace(kFunction, kTraceError, autocheck::kAutoCheckSource, __LINE__, "%s",
                 kModuleFailed);
        return refuse(error, kModuleFailed);
    }
    const XmlDocument request(
        request_text == nullptr
            ? nullptr
            : cutil_xml_import(request_text, autocheck::kAutoCheckSource, kFunction, __LINE__));
    if (request == nullptr) return refuse(error, "取策略报文失败");
    const char* user_name = cutil_xml_get(request.get(), "TARN/UserName");
    const char* password = cutil_xml_get(request.get(), "TARN/Password");
    if (user_name == nullptr) return refuse(error, "没有指定用户名，无法切换用户");

    const XmlDocument sent =
        autocheck::new_document(autocheck::kAutoCheckSource, kFunction, __LINE__);
    XmlNode* reply = nullptr;
    if (sent == nullptr || !autocheck::append_text(sent.get(), "TradeCode", "SwitchUser") ||
        !autocheck::append_text(sent.get(), "WhatToDo", "SwitchUser") ||
        !autocheck::append_text(sent.get(), "UserName", user_name) ||
        !autocheck::append_text(sent.get(), "Password", password != nullptr ? password : "") ||
        Call_GetTcpPacketFrom(sent.get(), &reply) == 0) {
        LogTrace(kFunction, kTraceError, autocheck::kAutoCheckSource, __LINE__, "%s",
                 "用户切换报文发送失败");
        Call_TarnLogToFile("%s", "用户切换报文发送失败");
    }
    cutil_xml_free(reply);
    return 1;
}
