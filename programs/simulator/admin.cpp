#include "programs/simulator/admin.h"

#include <cstdlib>

#include "cutil/markup.h"
#include "os/text.h"
#include "programs/simulator/device_keys.h"
#include "programs/simulator/fleet.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/xml_text.h"
#include "siblings/QuarnActivex/manifest.h"

namespace simulator {
namespace {

constexpr std::uint32_t kMaxWaitSeconds = 600;

Json device_json(const DeviceRecord& record) {
    Json device = {{"id", utf8(record.device.id)},
                   {"name", utf8(record.device.name)},
                   {"address", record.address != 0 ? dotted(record.address) : ""},
                   {"listening_port", record.device.listening_port},
                   {"last_seen", record.last_seen},
                   {"forbidden", record.device.forbidden},
                   {"cut_off", record.cut_off},
                   {"auth_reported", utf8(record.auth_reported)}};
    if (record.last_auth) {
        const AuthRecord& auth = *record.last_auth;
        device["last_auth"] = {{"type", utf8(auth.type)},           {"user", utf8(auth.user)},
                               {"accepted", auth.accepted},         {"role_id", utf8(auth.role_id)},
                               {"policy_id", utf8(auth.policy_id)}, {"time", auth.time}};
    }
    if (record.last_check) {
        const CheckRecord& check = *record.last_check;
        Json items = Json::array();
        for (const CheckItemResult& item : check.items) {
            items.push_back({{"item_id", utf8(item.item_id)},
                             {"name", utf8(item.name)},
                             {"key", item.key},
                             {"passed", item.passed},
                             {"reason", utf8(item.reason)}});
        }
        device["last_check"] = {{"check_id", check.check_id},
                                {"result", utf8(check.result)},
                                {"score", utf8(check.score)},
                                {"time", check.time},
                                {"items", items}};
    }
    return device;
}

// "page i of n" with links to the pages before and after.
std::string page_links(std::size_t page, std::size_t pages) {
    std::string links = "<p>page " + std::to_string(page + 1) + " of " + std::to_string(pages);
    if (page > 0) links += " <a href=\"/admin?page=" + std::to_string(page - 1) + "\">previous</a>";
    if (page + 1 < pages)
        links += " <a href=\"/admin?page=" + std::to_string(page + 1) + "\">next</a>";
    return links + "</p>";
}

std::string field(const std::map<std::string, std::string>& fields, const char* name) {
    const auto found = fields.find(name);
    return found != fields.end() ? found->second : "";
}

}  // namespace

Json state_json(const ServerState& state) {
    Json devices = Json::array();
    for (const DeviceRecord& record : state.devices()) {
        if (!record.deleted) devices.push_back(device_json(record));
    }
    return {{"scenario", utf8(state.scenario().name)}, {"devices", devices}};
}

std::string admin_page(const ServerState& state, std::size_t page) {
    std::string rows;
    // Held here: a loop over a member of the temporary would walk freed memory.
    const Json snapshot = state_page(state, page);
    for (const Json& device : snapshot["devices"]) {
        const std::string id = device["id"].get<std::string>();
        std::string auth = "-", check = "-";
        if (device.contains("last_auth")) {
            const Json& last = device["last_auth"];
            auth = last["type"].get<std::string>() + " " + last["user"].get<std::string>() + ": " +
                   (last["accepted"].get<bool>() ? "accepted" : "refused") + " (" +
                   last["time"].get<std::string>() + ")";
        }
        if (device.contains("last_check")) {
            const Json& last = device["last_check"];
            check = "<a href=\"/trade.php?tradecode=checkinfo&amp;tid=" +
                    last["check_id"].get<std::string>() + "&amp;is_client=1\">" +
                    cutil_markup_escape(last["result"].get<std::string>()) + " " +
                    cutil_markup_escape(last["score"].get<std::string>()) + "</a> (" +
                    last["time"].get<std::string>() + ")";
        } else {
            check = cutil_markup_escape(check);
        }
        std::string buttons;
        for (const PushCommand& command : push_commands()) {
            buttons += std::string("<button name=\"command\" value=\"") + command.name + "\">" +
                       command.name + "</button> ";
        }
        rows += "<tr><td>" + cutil_markup_escape(id) + "</td><td>" +
                cutil_markup_escape(device["name"].get<std::string>()) + "</td><td>" +
                cutil_markup_escape(device["address"].get<std::string>()) + "</td><td>" +
                cutil_markup_escape(auth) + "</td><td>" + check + "</td><td>" +
                "<form method=\"POST\" action=\"/admin/push\" accept-charset=\"UTF-8\">"
                "<input type=\"hidden\" name=\"device\" value=\"" +
                cutil_markup_escape(id) +
                "\"><label>Msg <input name=\"Msg\"></label> <label>UserName <input "
                "name=\"UserName\"></label> <label>Password <input name=\"Password\"></label> "
                "<label>Url <input name=\"Url\"></label> <label>Title <input "
                "name=\"Title\"></label><br>" +
                buttons + "</form></td></tr>";
    }
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>quarnsim</title></head>"
           "<body><h1>Access-server simulator: " +
           cutil_markup_escape(utf8(state.scenario().name)) + "</h1><p>" +
           cutil_markup_escape(snapshot["summary"].dump()) + "</p>" +
           page_links(page, snapshot["pages"].get<std::size_t>()) +
           "<table border=\"1\"><tr><th>device</th><th>name</th><th>address</th>"
           "<th>last authentication</th><th>last check</th><th>push</th></tr>" +
           rows + "</table></body></html>";
}

PushRequest push_request(const std::map<std::string, std::string>& fields) {
    PushRequest request;
    const auto gbk = [](const std::string& text) {
        return os::utf8_to_gbk(text.data(), text.size());
    };
    request.device_id = gbk(field(fields, "device"));
    request.command = field(fields, "command");
    request.address = field(fields, "address");
    const std::string wait = field(fields, "wait");
    if (!wait.empty()) {
        const unsigned long seconds = std::strtoul(wait.c_str(), nullptr, 10);
        request.wait_ms =
            static_cast<std::uint32_t>(std::min<unsigned long>(seconds, kMaxWaitSeconds)) * 1000;
    }
    for (const auto& [name, value] : fields) {
        // Only the elements the form filled in; an empty box sends nothing.
        if (!value.empty() && name != "device" && name != "command" && name != "address" &&
            name != "wait") {
            request.fields[name] = gbk(value);
        }
    }
    return request;
}

std::string install_packet(const ServerState& state,
                           const std::map<std::string, std::string>& fields,
                           const std::string& host, const std::string& scheme,
                           const std::string& pin) {
    // A packet for every machine still to register: the agent takes its id
    // from the registration answer.
    const bool any = field(fields, "device") == kNewDevice;
    auto record =
        any ? std::optional<DeviceRecord>(DeviceRecord{}) : state.device(field(fields, "device"));
    if (!record) return "";
    if (any) record->device.id = "0";
    const std::string given = field(fields, "user");
    const std::string user_name = os::utf8_to_gbk(given.data(), given.size());
    const User* user = nullptr;
    const std::vector<User> users = state.users();
    for (const User& each : users) {
        if (each.name == user_name) user = &each;
    }
    if (!user_name.empty() && user == nullptr) return "";
    const std::string web_url = scheme + "://" + host;
    const std::string type = field(fields, "auth_type");
    std::string packet = "<TARN><IsInstall>1</IsInstall>";
    const auto add = [&packet](const char* name, const std::string& value) {
        packet += std::string("<") + name + ">" + cutil_markup_escape(value) + "</" + name + ">";
    };
    add("DeskLinkName", "入网小助手");
    add("CheckUrl", web_url + "/check.php?device_id=" + record->device.id);
    add("WebUrl", web_url);
    add("DeviceID", record->device.id);
    add("LastAuthType", !type.empty() ? type : user != nullptr ? "User" : "NoAuth");
    if (user != nullptr) {
        add("UserName", user->name);
        add("Password", user->password);
    }
    add("IsAutoAuth", "Yes");
    add("ListeningPort", std::to_string(record->device.listening_port));
    // The device's own key, never the deployment secret it derives from.
    const std::string key = device_key(state.scenario(), record->device.id);
    if (!key.empty()) add("CryptKey", key);
    if (state.scenario().sign_key) {
        add("ModuleSignKey",
            activex::public_key_text(os::ecdsa_public_of(*state.scenario().sign_key)));
    }
    if (scheme == "https" && !pin.empty()) add("ServerKeyPin", pin);
    if (state.scenario().security_off) add("SecurityDowngrade", "1");
    return packet + "</TARN>";
}

Json push_json(const PushOutcome& outcome) {
    Json answer = {{"sent", outcome.sent}, {"answered", outcome.answered}, {"id", outcome.id}};
    if (outcome.answered) answer["result"] = outcome.result;
    if (!outcome.error.empty()) answer["error"] = outcome.error;
    return answer;
}

}  // namespace simulator
