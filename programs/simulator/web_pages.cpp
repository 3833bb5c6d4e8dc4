// The pages of trade.php, the repair page of submit.php and the password
// change: what the page dialog and the browser show the user.
#include <memory>
#include <vector>

#include "cutil/markup.h"
#include "cutil/xml.h"
#include "programs/simulator/web.h"
#include "programs/simulator/xml_text.h"

namespace simulator {
namespace {

constexpr char kListSeparator[] = "###||###";

WebAnswer page(const std::string& title, const std::string& body, int status = 200) {
    WebAnswer answer;
    answer.status = status;
    answer.body = html_page(title, body);
    return answer;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t found = text.find(separator, start);
        parts.push_back(text.substr(start, found - start));
        if (found == std::string::npos) return parts;
        start = found + separator.size();
    }
}

std::string item_name(const ServerState& state, const std::string& id) {
    const auto& names = state.scenario().item_names;
    const auto found = names.find(id);
    return found != names.end() ? found->second : id;
}

WebAnswer check_info(const ServerState& state, const WebRequest& request) {
    const auto check = state.check(request.param("tid"));
    if (!check) return page("检查结果", "<p>没有这次检查的记录</p>", 404);
    std::string rows;
    for (const CheckItemResult& item : check->items) {
        rows += "<tr><td>" + cutil_markup_escape(item.name) + "</td><td>" +
                (item.key ? "是" : "否") + "</td><td>" + (item.passed ? "通过" : "未通过") +
                "</td><td>" + cutil_markup_escape(item.reason) + "</td></tr>";
    }
    WebAnswer answer =
        page("检查结果", "<p>设备 " + cutil_markup_escape(check->device_id) + " 于 " + check->time +
                             " 的检查结果: " + cutil_markup_escape(check->result) + "，得分 " +
                             cutil_markup_escape(check->score) +
                             "</p><table border=1><tr><th>检查项</th><th>关键项</th><th>结果</th>"
                             "<th>原因</th></tr>" +
                             rows + "</table>");
    answer.device_id = check->device_id;
    return answer;
}

WebAnswer cut_off(ServerState& state, const WebRequest& request) {
    const std::string device_id = request.param("device_id");
    WebAnswer answer = state.set_cut_off(device_id, true)
                           ? page("断开网络", "<p>此设备已断开网络</p>")
                           : page("断开网络", "<p>没有此设备</p>", 404);
    answer.device_id = device_id;
    return answer;
}

WebAnswer delete_device(ServerState& state, const WebRequest& request) {
    const std::string device_id = request.param("device_id");
    WebAnswer answer;
    answer.content_type = "text/plain; charset=gbk";
    answer.body = state.remove_device(device_id) ? "ok" : "no such device";
    answer.status = answer.body == "ok" ? 200 : 404;
    answer.device_id = device_id;
    return answer;
}

WebAnswer navigation(const WebRequest& request) {
    WebAnswer answer = page("小秘书", "<p>角色 " + cutil_markup_escape(request.param("roleid")) +
                                          " 的导航</p><ul><li>入网须知</li><li>常见问题</li></ul>");
    answer.note["role_id"] = request.param("roleid");
    return answer;
}

WebAnswer software(const WebRequest& request) {
    WebAnswer answer = page(
        "软件使用申请", "<p>设备 " + cutil_markup_escape(request.param("deviceid")) + "，角色 " +
                            cutil_markup_escape(request.param("roleid")) + " 的软件使用申请</p>");
    answer.device_id = request.param("deviceid");
    return answer;
}

// One posted result: the Result element of an item, its verdict and reason.
struct PostedResult {
    std::string verdict;
    std::string reason;
};

PostedResult read_result(const std::string& text) {
    const XmlDocument document(
        cutil_xml_import(text.c_str(), "simulator", "repair_page", __LINE__));
    const char* verdict = cutil_xml_get(document.get(), "Result/CheckType/Result");
    const char* reason = cutil_xml_get(document.get(), "Result/CheckType/Reason");
    return {verdict != nullptr ? verdict : "", reason != nullptr ? reason : ""};
}

}  // namespace

std::string html_page(const std::string& title, const std::string& body) {
    return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
           "<title>" +
           cutil_markup_escape(title) + "</title></head><body>" + body + "</body></html>";
}

WebAnswer trade_page(ServerState& state, const WebRequest& request) {
    const std::string trade = request.param("tradecode");
    if (trade == "checkinfo") return check_info(state, request);
    if (trade == "cutoff_net") return cut_off(state, request);
    if (trade == "client_dev_delete") return delete_device(state, request);
    if (trade == "apply_nav") return navigation(request);
    if (trade == "soft_management") return software(request);
    return page("错误", "<p>未知的交易码</p>", 404);
}

WebAnswer repair_page(ServerState& state, const WebRequest& request) {
    const auto ids = split(request.param("itemsid"), kListSeparator);
    const auto results = split(request.param("checkres"), kListSeparator);
    std::string rows;
    Json failed = Json::array();
    for (std::size_t i = 0; i < ids.size() && i < results.size(); ++i) {
        const PostedResult result = read_result(results[i]);
        // As the agent judges: no verdict passes, anything but "Yes" fails.
        if (result.verdict.empty() || result.verdict == "Yes") continue;
        rows += "<li>" + cutil_markup_escape(item_name(state, ids[i])) + ": " +
                cutil_markup_escape(result.reason) + "</li>";
        failed.push_back(utf8(ids[i]));
    }
    const bool manual = request.param("repair") == "1";
    std::string body = rows.empty()
                           ? "<p>没有未通过的检查项</p>"
                           : "<p>以下检查项没有通过，请按提示修复:</p><ul>" + rows + "</ul>";
    // Automatic repair waits for the dialog to end: the page closes itself.
    if (!manual) body += "<script>setTimeout(function(){window.close();},3000);</script>";
    WebAnswer answer = page(manual ? "手动修复" : "自动修复", body);
    answer.device_id = request.param("deviceid");
    answer.note = {{"failed_items", failed}, {"repair", manual ? "manual" : "automatic"}};
    return answer;
}

WebAnswer check_page(ServerState& state, const WebRequest& request) {
    const std::string device_id = request.param("device_id");
    const auto device = state.device(device_id);
    if (!device) return page("入网检查", "<p>设备没有注册</p>", 404);
    std::string body = "<p>设备 " + cutil_markup_escape(device_id) + "</p>";
    if (device->last_auth) {
        body += "<p>身份认证: " + cutil_markup_escape(device->last_auth->type) + " " +
                cutil_markup_escape(device->last_auth->user) +
                (device->last_auth->accepted ? " 通过" : " 没有通过") + "</p>";
    }
    if (device->last_check) {
        body += "<p>安全检查: <a href=\"/trade.php?tradecode=checkinfo&amp;tid=" +
                device->last_check->check_id + "&amp;is_client=1\">" +
                cutil_markup_escape(device->last_check->result) + "</a></p>";
    }
    WebAnswer answer = page("入网检查", body);
    answer.device_id = device_id;
    return answer;
}

WebAnswer change_password_page(ServerState& state, const WebRequest& request) {
    const std::string user = request.param("username");
    if (request.method != "POST") {
        return page("修改密码",
                    "<form method=\"POST\" action=\"changePass.php\">"
                    "<input type=\"hidden\" name=\"username\" value=\"" +
                        cutil_markup_escape(user) +
                        "\">原密码 <input type=\"password\" name=\"old_password\"><br>"
                        "新密码 <input type=\"password\" name=\"new_password\"><br>"
                        "<input type=\"submit\" value=\"修改\"></form>");
    }
    const std::string new_password = request.param("new_password");
    const bool changed = !new_password.empty() &&
                         state.change_password(user, request.param("old_password"), new_password);
    WebAnswer answer = page("修改密码", changed ? "<p>密码已修改</p>" : "<p>用户名或原密码错误</p>",
                            changed ? 200 : 403);
    answer.note = {{"user", utf8(user)}, {"changed", changed}};
    return answer;
}

}  // namespace simulator
