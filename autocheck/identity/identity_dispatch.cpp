// The unattended identity authentication: the registration and isolation
// gates, the domain logon when the policy allows it, then the method the
// user last authenticated with.
#include "autocheck/identity/identity_dispatch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "autocheck/check_time.h"
#include "autocheck/identity/credential_auth.h"
#include "autocheck/identity/ukey_auth.h"
#include "autocheck/trace_sources.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/module_call.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/time.h"

namespace {

constexpr char kFunction[] = "DoIdentityAuth";
constexpr std::size_t kTypeSize = 64;
constexpr char kDomainModule[] = "QuarnCheckDomain.dll";
constexpr char kDomainFunction[] = "CheckDomainUser";
constexpr char kDomainArgument[] = "<CheckType></CheckType>";

#define DISPATCH_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kIdentityAuthSource, __LINE__, __VA_ARGS__)

// The methods by the LastAuthType that selects them (compared without case).
struct Method {
    const char* type;
    int (*run)();
    bool without_auto_auth;  // runs even when the user chose no automatic authentication
    const char* failure;     // traced when the method fails
};

const Method kMethods[] = {
    {"User", UserAuth, false, "USER认证失败"},
    {"Email", EmailAuth, false, "Email认证失败"},
    {"Ukey", UKeyAuth, true, "UKEY认证失败"},
    {"NoAuth", NoAuth, true, "NoAuth 认证失败"},
    {"Ukey_ePass1000ND", UKeyAuth_ePass1000ND, false, "Ukey_ePass1000ND 认证失败"},
};

const Method* method_of(const char* type) {
    for (const Method& method : kMethods) {
        if (cutil_str_iequal(type, method.type)) return &method;
    }
    return nullptr;
}

std::string banner(const char* word, int before, int after) {
    return std::string(static_cast<std::size_t>(before), '-') + word + " DoIdentityAuth" +
           std::string(static_cast<std::size_t>(after), '-');
}

// A refusal: the user log says authentication failed, the trace that none
// was attempted.
int refuse(int line, const char* user_log, const char* trace) {
    Call_TarnLogToFile("%s", user_log);
    LogTrace(kFunction, kTraceError, autocheck::kIdentityAuthSource, line, "%s", trace);
    return 0;
}

// Where the domain-check module comes from: the server's download folder,
// or the assistant directory when it is not configured.
void read_base_location(char* base) {
    GetAssistantDir(base);
    if (ReadConfigText("ServerDownPath", base, kPathSize) == 0) {
        DISPATCH_TRACE(kTraceError, "取服务器的Download目录失败，检查可能会出问题");
    }
}

enum class Domain { kNotChecked, kAuthenticated, kFailed };

// The domain logon, when the policy allows automatic authentication by it.
Domain try_domain_logon(const char* base) {
    char allowed[kPathSize] = "";
    ReadConfigText("AllowAuthType", allowed, sizeof allowed);
    if (cutil_str_istr(allowed, "ADAutoLogin") == nullptr) return Domain::kNotChecked;

    char location[kPathSize];
    const int length = std::snprintf(location, sizeof location, "%s%s", base, kDomainModule);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof location) {
        // A cut location would name another module.
        DISPATCH_TRACE(kTraceError, "域检查模块路径太长, 不做域登录检查: %s%s", base,
                       kDomainModule);
        return Domain::kNotChecked;
    }
    char* reply_text = nullptr;
    const int called = CallOneModuleFuncA(location, kDomainArgument, kDomainFunction, &reply_text);
    XmlDocument reply;
    if (called != 0 && reply_text != nullptr) {
        reply.reset(
            cutil_xml_import(reply_text, autocheck::kIdentityAuthSource, kFunction, __LINE__));
    }
    std::free(reply_text);  // the module-call routine's standard heap
    if (reply == nullptr) return Domain::kNotChecked;

    if (cutil_str_iequal(cutil_xml_get(reply.get(), "Result/CheckType/Result"), "Yes")) {
        const char* user = cutil_xml_get(reply.get(), "Result/Info/CurLogonUser");
        const char* domain = cutil_xml_get(reply.get(), "Result/Info/DomainName");
        if (ADAutoAuth(user, domain) != 0) {
            Call_TarnLogToFile("%s", "域登录自动身份认证成功");
            return Domain::kAuthenticated;
        }
        Call_TarnLogToFile("域登录自动身份认证失败: 登录用户名 %s 域名 %s", user ? user : "",
                           domain ? domain : "");
        DISPATCH_TRACE(kTraceError, "域登录自动身份认证失败");
        return Domain::kFailed;
    }
    Call_TarnLogToFile("%s", "此用户没有登录到域中, 域登录自动身份认证失败");
    DISPATCH_TRACE(kTraceInfo, "此用户没有登录到域中");
    return Domain::kNotChecked;
}

}  // namespace

int DoIdentityAuth() {
    Call_TarnLogToFile("%s", banner("进入", 37, 43).c_str());
    char base[kPathSize];
    read_base_location(base);
    autocheck::store_check_time(true);

    if (ReadConfigIntOr("DeviceId") == 0) {
        return refuse(__LINE__, "没有找到设备ID, 身份认证失败", "没有找到设备ID, 不做身份认证");
    }
    if (ReadConfigIntOr("IsForbid") != 0) {
        return refuse(__LINE__, "此设备已被隔离，身份认证失败", "此设备已被隔离，不做自动身份认证");
    }

    switch (try_domain_logon(base)) {
        case Domain::kAuthenticated:
            return 1;
        case Domain::kFailed:
            return 0;
        case Domain::kNotChecked:
            break;
    }

    char type[kTypeSize] = "";
    ReadConfigText("LastAuthType", type, sizeof type);
    if (type[0] == '\0') return refuse(__LINE__, "没有取到最后认证类型", "没有取到身份认证类型");
    if (cutil_str_iequal(type, "Tel")) {
        return refuse(__LINE__, "手机身份认证，无法做自动认证", "不处理手机身份认证");
    }
    char auto_auth[kTypeSize] = "No";
    ReadConfigText("IsAutoAuth", auto_auth, sizeof auto_auth);
    const Method* method = method_of(type);
    if ((method == nullptr || !method->without_auto_auth) && cutil_str_iequal(auto_auth, "No")) {
        return refuse(__LINE__, "用户没有选择自动认证", "用户没有选择自动身份认证");
    }

    int result = 0;
    if (method == nullptr) {
        Call_TarnLogToFile("未知的身份认证类型：%s", type);
        DISPATCH_TRACE(kTraceError, "未知的身份认证类型：%s", type);
    } else {
        result = method->run();
        if (result == 0) DISPATCH_TRACE(kTraceError, "%s", method->failure);
    }
    Call_TarnLogToFile("身份认证结果: %d", result);
    Call_TarnLogToFile("%s", banner("退出", 37, 40).c_str());
    return result;
}
