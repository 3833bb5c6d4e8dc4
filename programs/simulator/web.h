// The server's web root as plain functions: a request's parameters in, the
// body the agent or its page dialog gets out. http_server.cpp puts them on
// the HTTP routes; keeping them apart from the HTTP library keeps them
// testable as they are.
#pragma once

#include <map>
#include <string>

#include "programs/simulator/recorder.h"
#include "programs/simulator/server_state.h"

namespace simulator {

struct WebRequest {
    std::string method;
    std::map<std::string, std::string> params;  // query and form fields, as sent
    std::string param(const char* name) const {
        const auto found = params.find(name);
        return found != params.end() ? found->second : "";
    }
};

struct WebAnswer {
    int status = 200;
    std::string content_type = "text/html; charset=gbk";
    std::string body;  // GBK unless the content type says otherwise
    std::string device_id;
    Json note = Json::object();
};

// mod/client_check/ajax.php: tradecode net_auth (every type) and get_guest_netcode.
WebAnswer client_ajax(ServerState& state, const WebRequest& request);
// trade.php: checkinfo, cutoff_net, client_dev_delete, apply_nav, soft_management.
WebAnswer trade_page(ServerState& state, const WebRequest& request);
// mod/client_check/submit.php: the repair page for a posted check result.
WebAnswer repair_page(ServerState& state, const WebRequest& request);
// mod/client_check/changePass.php: the form, and the change when posted.
WebAnswer change_password_page(ServerState& state, const WebRequest& request);

// check.php: the check page the agent opens (CheckUrl), the device's state.
WebAnswer check_page(ServerState& state, const WebRequest& request);

// An HTML page around `body` (GBK), titled `title`.
std::string html_page(const std::string& title, const std::string& body);

}  // namespace simulator
