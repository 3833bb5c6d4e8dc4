// The authentication answers of mod/client_check/ajax.php. The agent reads an
// accepted answer as free text holding RoleID='…' and PolicyID='…', a guest
// code as Code='…', and shows the text after "__res =" when there is none.
#include <functional>

#include "programs/simulator/url_base64.h"
#include "programs/simulator/web.h"

namespace simulator {
namespace {

constexpr char kTextType[] = "text/plain; charset=gbk";

WebAnswer text_answer(const std::string& body) {
    WebAnswer answer;
    answer.content_type = kTextType;
    answer.body = body;
    return answer;
}

WebAnswer refusal(const char* why) {
    return text_answer(std::string("__res = ") + why);
}

WebAnswer accepted(const Assignment& assignment) {
    return text_answer("__res = 'ok'; RoleID='" + assignment.role_id + "'; PolicyID='" +
                       assignment.policy_id + "';");
}

// The credentials of one net_auth type: who they name and the role they give.
struct Credentials {
    std::string who;
    std::optional<Assignment> assignment;
};

std::optional<Assignment> user_where(const ServerState& state,
                                     const std::function<bool(const User&)>& matches) {
    for (const User& user : state.users()) {
        if (matches(user)) return user.assignment;
    }
    return std::nullopt;
}

Credentials user_credentials(const ServerState& state, const WebRequest& request) {
    const std::string name = url_base64_decode(request.param("user_name"));
    const std::string password = url_base64_decode(request.param("password"));
    return {name, user_where(state, [&](const User& user) {
                return user.name == name && user.password == password;
            })};
}

Credentials email_credentials(const ServerState& state, const WebRequest& request) {
    const std::string email = url_base64_decode(request.param("email"));
    const std::string password = url_base64_decode(request.param("email_password"));
    return {email, user_where(state, [&](const User& user) {
                return !user.email.empty() && same_text(user.email, email) &&
                       user.password == password;
            })};
}

Credentials domain_credentials(const ServerState& state, const WebRequest& request) {
    const std::string name = url_base64_decode(request.param("user_name"));
    const std::string domain = url_base64_decode(request.param("domain_name"));
    return {name + "@" + domain, user_where(state, [&](const User& user) {
                return same_text(user.name, name) && !user.domain.empty() &&
                       same_text(user.domain, domain);
            })};
}

// A USB key: a certificate by its serial, or an ePass1000ND key by its
// serial number and the stored password.
Credentials key_credentials(const ServerState& state, const WebRequest& request) {
    const Scenario& scenario = state.scenario();
    const std::string serial = request.param("certserial");
    if (!serial.empty()) {
        for (const Certificate& certificate : scenario.certificates) {
            if (same_text(certificate.serial, serial)) return {serial, certificate.assignment};
        }
        return {serial, std::nullopt};
    }
    const std::string key_serial = url_base64_decode(request.param("user_name"));
    const std::string password = url_base64_decode(request.param("password"));
    for (const SerialKey& key : scenario.serial_keys) {
        if (key.serial == key_serial && key.password == password)
            return {key_serial, key.assignment};
    }
    return {key_serial, std::nullopt};
}

WebAnswer net_auth(ServerState& state, const WebRequest& request) {
    const std::string type = request.param("type");
    const std::string device_id = request.param("deviceid");
    const auto device = state.device(device_id);
    Credentials credentials;
    const char* refused = "用户名或密码错误";
    if (type == "User") {
        credentials = user_credentials(state, request);
    } else if (type == "Email") {
        credentials = email_credentials(state, request);
    } else if (type == "NoAuth") {
        credentials = {"", state.scenario().no_auth};
        refused = "此网络不允许免认证入网";
    } else if (type == "ADAutoLogin") {
        credentials = domain_credentials(state, request);
        refused = "域用户没有登记";
    } else if (type == "UKey") {
        credentials = key_credentials(state, request);
        refused = "UKEY证书无效";
    } else {
        refused = "不支持的认证方式";
    }
    WebAnswer answer;
    if (!device) {
        answer = refusal("设备没有注册");
    } else if (device->device.forbidden) {
        answer = refusal("设备已被隔离");
    } else if (!credentials.assignment) {
        answer = refusal(refused);
    } else {
        answer = accepted(*credentials.assignment);
    }
    AuthRecord record;
    record.type = type;
    record.user = credentials.who;
    record.accepted = device && !device->device.forbidden && credentials.assignment;
    if (record.accepted) {
        record.role_id = credentials.assignment->role_id;
        record.policy_id = credentials.assignment->policy_id;
    }
    record.time = time_text();
    state.note_auth(device_id, record);
    answer.device_id = device_id;
    answer.note = {
        {"type", utf8(type)}, {"user", utf8(record.user)}, {"accepted", record.accepted}};
    if (request.params.count("certbase64") != 0) answer.note["certificate_posted"] = true;
    return answer;
}

WebAnswer guest_code(ServerState& state, const WebRequest& request) {
    const std::string device_id = request.param("device_id");
    const std::string name = url_base64_decode(request.param("user_name"));
    bool allowed = false;
    for (const User& user : state.users()) {
        if (user.name == name) allowed = user.may_request_guest_code;
    }
    WebAnswer answer;
    std::string code;
    if (!state.device(device_id)) {
        answer = refusal("设备没有注册");
    } else if (!allowed) {
        answer = refusal("此用户没有权限申请来宾上网码");
    } else if ((code = state.next_guest_code()).empty()) {
        answer = refusal("来宾上网码已用完");
    } else {
        answer = text_answer("__res = 'ok'; Code='" + code + "';");
    }
    answer.device_id = device_id;
    answer.note = {{"user", utf8(name)}, {"code", utf8(code)}};
    return answer;
}

}  // namespace

WebAnswer client_ajax(ServerState& state, const WebRequest& request) {
    const std::string trade = request.param("tradecode");
    if (trade == "net_auth") return net_auth(state, request);
    if (trade == "get_guest_netcode") return guest_code(state, request);
    WebAnswer answer = refusal("未知的交易码");
    answer.status = 404;
    return answer;
}

}  // namespace simulator
