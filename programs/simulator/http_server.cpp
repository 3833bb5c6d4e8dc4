#include "programs/simulator/http_server.h"

#include <httplib.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "programs/simulator/admin.h"
#include "programs/simulator/download_manifest.h"
#include "programs/simulator/fleet.h"
#include "programs/simulator/push.h"
#include "programs/simulator/tls_chain.h"
#include "programs/simulator/web.h"
#include "siblings/QuarnActivex/manifest.h"

namespace simulator {
namespace {

// The web root's addresses, reached however many slashes the agent's URL
// joining left before them ("http://host//trade.php").
constexpr char kAjax[] = R"(/+mod/client_check/ajax\.php)";
constexpr char kSubmit[] = R"(/+mod/client_check/submit\.php)";
constexpr char kChangePassword[] = R"(/+mod/client_check/changePass\.php)";
constexpr char kTrade[] = R"(/+trade\.php)";
constexpr char kCheck[] = R"(/+check\.php)";
constexpr std::size_t kWorkers = 64;

// Set by a route once it has recorded its request, so that the logger, which
// runs after it on the same thread, records only the rest (downloads, 404s).
thread_local bool recorded = false;

std::map<std::string, std::string> fields(const httplib::Request& request) {
    std::map<std::string, std::string> out;
    for (const auto& [name, value] : request.params) out.emplace(name, value);
    if (request.method == "POST" &&
        request.get_header_value("Content-Type").find("application/x-www-form-urlencoded") == 0) {
        httplib::Params form;
        httplib::detail::parse_query_text(request.body, form);
        for (const auto& [name, value] : form) out.emplace(name, value);
    }
    return out;
}

Json params_json(const std::map<std::string, std::string>& params) {
    Json out = Json::object();
    for (const auto& [name, value] : params) out[name] = utf8(value);
    return out;
}

}  // namespace

struct WebServer::Routes {
    std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>();
};

WebServer::WebServer(ServerState& state, Recorder& recorder)
    : state_(state), recorder_(recorder), routes_(std::make_unique<Routes>()) {}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(const std::string& host, std::uint16_t port,
                      const std::string& download_dir) {
    if (!tls_chain_.empty()) {
        auto secure = std::make_unique<httplib::SSLServer>(tls_chain_.c_str(), tls_key_.c_str());
        tls_pin_ = server_key_pin(tls_chain_);
        if (!secure->is_valid() || tls_pin_.empty()) return false;
        routes_->server = std::move(secure);
    }
    httplib::Server& server = *routes_->server;
    // A fleet's agents keep their connections open between requests: a few
    // workers would be held by idle connections while others wait.
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    using Handler = std::function<WebAnswer(ServerState&, const WebRequest&)>;
    const auto route = [this](const Handler& handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            WebRequest web{request.method, fields(request)};
            const WebAnswer answer = handler(state_, web);
            response.status = answer.status;
            response.set_content(answer.body, answer.content_type.c_str());
            Json line = {{"kind", "http"},
                         {"method", request.method},
                         {"path", request.path},
                         {"params", params_json(web.params)},
                         {"status", answer.status},
                         {"device", utf8(answer.device_id)},
                         {"body", utf8(answer.body)},
                         {"from", request.remote_addr}};
            line.update(answer.note);
            recorder_.write(line);
            recorded = true;
        };
    };
    server.Get(kAjax, route(client_ajax));
    server.Post(kAjax, route(client_ajax));
    server.Get(kTrade, route(trade_page));
    server.Get(kCheck, route(check_page));
    server.Post(kSubmit, route(repair_page));
    server.Get(kChangePassword, route(change_password_page));
    server.Post(kChangePassword, route(change_password_page));

    // With hundreds of devices: the page in pages, the state as a summary
    // (?summary=1) or a page (?page=N), or whole without either.
    const auto page = [](const httplib::Request& request) {
        return static_cast<std::size_t>(
            std::strtoul(request.get_param_value("page").c_str(), nullptr, 10));
    };
    server.Get(
        "/admin", [this, page](const httplib::Request& request, httplib::Response& response) {
            response.set_content(admin_page(state_, page(request)), "text/html; charset=utf-8");
        });
    server.Get(
        "/admin/state", [this, page](const httplib::Request& request, httplib::Response& response) {
            const Json state = request.has_param("summary") ? state_summary(state_)
                               : request.has_param("page")  ? state_page(state_, page(request))
                                                            : state_json(state_);
            response.set_content(state.dump(2, ' ', false, Json::error_handler_t::replace),
                                 "application/json");
        });
    server.Get("/admin/install_packet",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const std::string packet =
                       install_packet(state_, fields(request), request.get_header_value("Host"),
                                      tls_chain_.empty() ? "http" : "https", tls_pin_);
                   response.status = packet.empty() ? 404 : 200;
                   response.set_content(packet, "text/xml; charset=gbk");
               });
    server.Post(
        "/admin/push", [this](const httplib::Request& request, httplib::Response& response) {
            const PushRequest push = push_request(fields(request));
            Json answer;
            if (push.device_id == kAllDevices) {
                answer = push_all(state_, recorder_, push);
            } else {
                const PushOutcome outcome = send_push(state_, recorder_, push);
                answer = push_json(outcome);
            }
            response.status = answer.contains("error") ? 400 : 200;
            response.set_content(answer.dump(-1, ' ', false, Json::error_handler_t::replace),
                                 "application/json");
            recorded = true;  // the push itself is the record
        });
    if (!download_dir.empty() && !server.set_mount_point("/download", download_dir)) return false;
    // The manifest is made from the folder under the scenario's signing key,
    // before the folder is looked at: a manifest file left there would be
    // stale. Without a key there is no manifest.
    if (!download_dir.empty()) {
        if (state_.scenario().sign_key) {
            manifest_ =
                std::make_unique<DownloadManifest>(download_dir, *state_.scenario().sign_key);
        }
        const std::string manifest_path = std::string("/download/") + activex::kManifestName;
        server.set_pre_routing_handler(
            [this, manifest_path](const httplib::Request& request, httplib::Response& response) {
                if (request.path != manifest_path)
                    return httplib::Server::HandlerResponse::Unhandled;
                const std::string text = manifest_ ? manifest_->text() : std::string();
                response.status = text.empty() ? 500 : 200;
                response.set_content(text, "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            });
    }
    // The agent polls this file to learn that the server is there; files of
    // the folder are served first, this stands in when it has none.
    server.Get("/download/TarnAssistantUpdate.inf",
               [](const httplib::Request&, httplib::Response& response) {
                   response.set_content("[Update]\r\nVersion=1.0.0.1\r\n", "text/plain");
               });

    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        if (recorded || request.path.rfind("/admin", 0) == 0) {
            recorded = false;
            return;
        }
        recorder_.write({{"kind", "http"},
                         {"from", request.remote_addr},
                         {"method", request.method},
                         {"path", request.path},
                         {"status", response.status},
                         {"bytes", response.body.size()}});
    });

    // The library's default also sets SO_REUSEPORT, under which a second
    // simulator binds the same port and the kernel shares the connections out
    // between the two: one left running must make this start fail instead.
    server.set_socket_options([](socket_t fd) {
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    const int bound =
        port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) return false;
    port_ = static_cast<std::uint16_t>(bound);
    thread_ = std::thread([&server] { server.listen_after_bind(); });
    return true;
}

void WebServer::use_tls(const std::string& chain_file, const std::string& key_file) {
    tls_chain_ = chain_file;
    tls_key_ = key_file;
}

void WebServer::stop() {
    routes_->server->stop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace simulator
