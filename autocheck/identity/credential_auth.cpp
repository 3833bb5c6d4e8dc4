// Authentication with credentials: one HTTP GET per member, the role and the
// policy taken from the answer. The members differ only in the row of
// kMembers they walk.
#include "autocheck/identity/credential_auth.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>

#include "autocheck/bound_modules.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "cutil/url_text.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/memory.h"

namespace {

struct Member {
    const char* name;  // function name of its traces, named in its banners
    // "%s" stand for WebUrl, the two credentials (when the member sends
    // them) and DeviceId, filled in that order.
    const char* url_template;
    const char* get_failure;
    const char* parse_failure_log;  // "%s": the URL, then the answer
    const char* parse_failure_trace;
    int enter_before, enter_after;  // hyphens around "进入 <name>"
    int leave_before, leave_after;  // hyphens around "退出 <name>"
};

constexpr char kUserTemplate[] =
    "%s/mod/client_check/ajax.php?tradecode=net_auth&type=User&user_name=%s&password=%s"
    "&deviceid=%s";
constexpr char kUserGetFailure[] = "USER身份认证失败";
constexpr char kUserParseLog[] = "User方式身份认证失败: AuthUrl %s  Response %s";
constexpr char kUserParseTrace[] = "没有取到角色ID和策略ID，USER身份认证失败";

enum MemberIndex { kUser, kEmail, kNoAuth, kADAuto, kUserWithPassword };

constexpr Member kMembers[] = {
    {"UserAuth", kUserTemplate, kUserGetFailure, kUserParseLog, kUserParseTrace, 37, 43, 41, 39},
    {"EmailAuth",
     "%s/mod/client_check/ajax.php?tradecode=net_auth&type=Email&email=%s&email_password=%s"
     "&deviceid=%s",
     "Email身份认证失败", "Email方式身份认证失败: AuthUrl %s Response %s",
     "没有取到角色ID和策略ID，Email身份认证失败", 37, 43, 37, 43},
    {"NoAuth", "%s/mod/client_check/ajax.php?tradecode=net_auth&type=NoAuth&deviceid=%s",
     "NoAuth身份认证失败", "NoAuth方式身份认证失败: AuthUrl %s Response %s",
     "没有取到角色ID和策略ID，NoAuth身份认证失败", 36, 44, 37, 43},
    {"ADAutoAuth",
     "%s/mod/client_check/ajax.php?tradecode=net_auth&type=ADAutoLogin&user_name=%s"
     "&domain_name=%s&deviceid=%s",
     "ADAutoAuth身份认证失败", "ADAutoAuth方式身份认证失败: AuthUrl %s Response %s",
     "没有取到角色ID和策略ID，ADAutoAuth身份认证失败", 37, 43, 38, 42},
    {"UserAuthWithUserPassword", kUserTemplate, kUserGetFailure, kUserParseLog, kUserParseTrace, 37,
     43, 41, 39},
};

constexpr char kHyphens[] = "--------------------------------------------------";
constexpr std::size_t kIdSize = 64;
constexpr std::size_t kStoredCredentialSize = 520;
constexpr int kDomainFieldSize = 520;
constexpr int kGivenFieldSize = 780;

#define MEMBER_TRACE(member, level, ...) \
    LogTrace((member).name, level, autocheck::kIdentityAuthSource, __LINE__, __VA_ARGS__)

struct GlobalFreeDeleter {
    void operator()(char* block) const { os::global_free(block); }
};

void banner(const Member& member, const char* verb, int before, int after) {
    Call_TarnLogToFile("%.*s%s%s%.*s", before, kHyphens, verb, member.name, after, kHyphens);
}

// The template with each "%s" replaced, in order, by the next value: the
// values are never read as formats.
std::string fill(const char* text, std::initializer_list<const char*> values) {
    std::string out;
    const char* const* next = values.begin();
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's' && next != values.end()) {
            out += *next++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// The URL-safe Base64 form of `text` into `field`; false (the field left
// empty) when encoding fails or would not fit whole: a cut credential would
// name someone else.
bool encode_whole(const char* text, char* field, int size) {
    const std::size_t length = std::strlen(text);
    const int written = EncodeUrlBase64(text, -1, field, size);
    if (written > 0 && static_cast<std::size_t>(written) == (length + 2) / 3 * 4) return true;
    field[0] = '\0';
    return false;
}

// DeviceId and WebUrl, traced when missing. A WebUrl whose host does not fit
// 63 characters counts as missing: no request goes to a cut host.
bool read_server(const Member& member, char* device_id, char* web_url) {
    device_id[0] = '\0';
    if (ReadConfigText("DeviceId", device_id, kPathSize) == 0 || device_id[0] == '\0') {
        MEMBER_TRACE(member, kTraceError, "没有找到设备ID");
        return false;
    }
    if (!ReadServerAddress(web_url, nullptr, nullptr)) {
        MEMBER_TRACE(member, kTraceError, "没有找到检查页面");
        return false;
    }
    return true;
}

// One GET with the credentials (null for none) and what follows it: the IDs
// stored whenever the server answered, "0" and "0" for an answer without them.
int request(const Member& member, const char* web_url, const char* device_id, const char* first,
            const char* second) {
    std::string url;
    try {
        // The stored id stays one query value, whatever it holds.
        const std::string device = cutil_url_escape(device_id);
        url = first != nullptr ? fill(member.url_template, {web_url, first, second, device.c_str()})
                               : fill(member.url_template, {web_url, device.c_str()});
    } catch (const std::bad_alloc&) {
        MEMBER_TRACE(member, kTraceError, "内存分配失败， USER身份认证失败");
        return 0;
    }

    char* received = nullptr;
    const int answered = HttpGet != nullptr ? HttpGet(url.c_str(), &received) : 0;
    const std::unique_ptr<char, GlobalFreeDeleter> answer(received);
    // The user log keeps the address, never the password inside it.
    if (answered == 0) {
        Call_TarnLogToFile("HttpGet 失败: %s", cutil_url_mask_secrets(url.c_str()).c_str());
        MEMBER_TRACE(member, kTraceError, "%s", member.get_failure);
        return 0;
    }

    char role_id[kIdSize] = {};
    char policy_id[kIdSize] = {};
    int result = 1;
    if (ParseAuthReply(answer.get(), role_id, policy_id) == 0) {
        try {
            const std::string line =
                fill(member.parse_failure_log,
                     {cutil_url_mask_secrets(url.c_str()).c_str(), answer ? answer.get() : ""});
            Call_TarnLogToFile("%s", line.c_str());
        } catch (const std::bad_alloc&) {
            // The line is lost; the IDs are still reset below.
        }
        MEMBER_TRACE(member, kTraceError, "%s", member.parse_failure_trace);
        std::strcpy(role_id, "0");
        std::strcpy(policy_id, "0");
        result = 0;
    }

    MEMBER_TRACE(member, kTraceInfo, "RoleId: %s PolicyId: %s", role_id, policy_id);
    Call_TarnWriteConfig("RoleId", role_id);
    Call_TarnWriteConfig("PolicyId", policy_id);
    Call_TarnLogToFile("角色ID：%s 策略ID: %s", role_id, policy_id);
    banner(member, "退出 ", member.leave_before, member.leave_after);
    return result;
}

// UserAuth and EmailAuth: the stored UserName and Password, sent as stored.
int stored_credentials_auth(const Member& member) {
    banner(member, "进入 ", member.enter_before, member.enter_after);
    char device_id[kPathSize];
    char web_url[kPathSize];
    if (!read_server(member, device_id, web_url)) return 0;
    char user_name[kStoredCredentialSize] = "";
    if (ReadConfigText("UserName", user_name, sizeof user_name) == 0) {
        MEMBER_TRACE(member, kTraceError, "没有找到用户名");
        return 0;
    }
    char password[kStoredCredentialSize] = "";
    if (ReadConfigText("Password", password, sizeof password) == 0) {
        MEMBER_TRACE(member, kTraceError, "没有找到用户密码");
        return 0;
    }
    return request(member, web_url, device_id, user_name, password);
}

}  // namespace

int UserAuth() {
    return stored_credentials_auth(kMembers[kUser]);
}

int EmailAuth() {
    return stored_credentials_auth(kMembers[kEmail]);
}

int NoAuth() {
    const Member& member = kMembers[kNoAuth];
    banner(member, "进入 ", member.enter_before, member.enter_after);
    char device_id[kPathSize];
    char web_url[kPathSize];
    if (!read_server(member, device_id, web_url)) return 0;
    return request(member, web_url, device_id, nullptr, nullptr);
}

int ADAutoAuth(const char* user_name, const char* domain_name) {
    const Member& member = kMembers[kADAuto];
    banner(member, "进入 ", member.enter_before, member.enter_after);
    if (user_name == nullptr || domain_name == nullptr) return 0;
    char device_id[kPathSize];
    char web_url[kPathSize];
    if (!read_server(member, device_id, web_url)) return 0;
    // An empty name, or one that cannot be encoded, is sent as an empty field.
    char user_field[kDomainFieldSize] = "";
    char domain_field[kDomainFieldSize] = "";
    encode_whole(user_name, user_field, kDomainFieldSize);
    encode_whole(domain_name, domain_field, kDomainFieldSize);
    return request(member, web_url, device_id, user_field, domain_field);
}

int UserAuthWithUserPassword(const char* user_name, const char* password) {
    const Member& member = kMembers[kUserWithPassword];
    banner(member, "进入 ", member.enter_before, member.enter_after);
    if (user_name == nullptr || password == nullptr) {
        MEMBER_TRACE(member, kTraceError, "参数不正确");
        return 0;
    }
    MEMBER_TRACE(member, kTraceInfo, "以指定的用户名和密码进行认证 %s", user_name);
    if (user_name[0] == '\0') return NoAuth();

    char user_field[kGivenFieldSize] = "";
    if (!encode_whole(user_name, user_field, kGivenFieldSize)) {
        MEMBER_TRACE(member, kTraceError, "用户名加密失败");
        return 0;
    }
    char password_field[kGivenFieldSize] = "";
    if (password[0] != '\0' && !encode_whole(password, password_field, kGivenFieldSize)) {
        MEMBER_TRACE(member, kTraceError, "密码加密失败");
        return 0;
    }
    char device_id[kPathSize];
    char web_url[kPathSize];
    if (!read_server(member, device_id, web_url)) return 0;
    return request(member, web_url, device_id, user_field, password_field);
}
