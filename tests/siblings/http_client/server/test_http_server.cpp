// A loopback web server for the HTTP tests, a native program so that the
// Windows tests under Wine reach it too (cpp-httplib does not build for
// Windows here). Usage: test_http_server <port file> <folder> <seconds> [tls]
// It binds 127.0.0.1 on a free port, writes the port into <port file>,
// serves <folder> under /files/, and stops on GET /quit or after <seconds>.
// With "tls" it also serves HTTPS on one port per server certificate of
// tls_chain.h, writes "<name> <port>" lines after the first one and the
// chain's root.der and pin into <folder>.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "programs/simulator/tls_chain.h"

namespace {

// The requests the agent's pages and logons sent, one line each:
// "METHOD target | content type | body"; GET /received hands them over.
std::mutex received_mutex;
std::string received;

void record(const httplib::Request& request, httplib::Response& response) {
    {
        const std::lock_guard<std::mutex> lock(received_mutex);
        received += request.method + " " + request.target + " | " +
                    request.get_header_value("Content-Type") + " | " + request.body + "\n";
    }
    response.set_content("RoleID='5' PolicyID='8'", "text/plain");
}

void routes(httplib::Server& server) {
    for (const char* pattern : {R"(/+mod/client_check/ajax\.php)", R"(/+trade\.php)"}) {
        server.Get(pattern, record);
        server.Post(pattern, record);
    }
    server.Get(R"(/download/[^/]+)", record);
    server.Get("/received", [](const httplib::Request&, httplib::Response& response) {
        const std::lock_guard<std::mutex> lock(received_mutex);
        response.set_content(received, "text/plain");
        received.clear();
    });
    server.Get("/text", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("hello \xc4\xe3\xba\xc3", "text/plain");  // GBK bytes
    });
    server.Get("/nul", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("ab\0cd", 5), "application/octet-stream");
    });
    // Echoes the form it received: the content type, then "name=value" lines.
    server.Post("/form", [](const httplib::Request& request, httplib::Response& response) {
        std::string echo = request.get_header_value("Content-Type") + "\n";
        for (const auto& [name, value] : request.params) echo += name + "=" + value + "\n";
        response.set_content(echo, "text/plain");
    });
    server.Get(R"(/status/(\d+))",
               [](const httplib::Request& request, httplib::Response& response) {
                   response.status = std::atoi(request.matches[1].str().c_str());
                   response.set_content("status " + request.matches[1].str(), "text/plain");
               });
    // /redirect/N answers with N more hops before "landed".
    server.Get(R"(/redirect/(\d+))",
               [](const httplib::Request& request, httplib::Response& response) {
                   const int left = std::atoi(request.matches[1].str().c_str());
                   if (left == 0) return response.set_content("landed", "text/plain");
                   response.set_redirect("/redirect/" + std::to_string(left - 1));
               });
    server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        response.set_content("late", "text/plain");
    });
}

}  // namespace

struct Secure {
    const char* name;
    simulator::ServerCertificate kind;
    std::unique_ptr<httplib::SSLServer> server;
    int port = 0;
    std::thread thread;
};

// One HTTPS listener per server certificate; "plain" is the HTTP port that
// /to-plain on the good one redirects to.
bool start_secure(std::vector<Secure>& servers, const std::string& folder, int plain) {
    for (Secure& secure : servers) {
        simulator::TlsChain chain;
        std::string error;
        const std::string dir = folder + "/" + secure.name;
        if (!std::filesystem::create_directories(dir) ||
            !simulator::make_tls_chain(secure.kind, "localhost", "127.0.0.1", &chain, &error) ||
            !simulator::write_tls_chain(chain, dir)) {
            return false;
        }
        if (secure.kind == simulator::ServerCertificate::kGood &&
            !simulator::write_tls_chain(chain, folder)) {
            return false;
        }
        secure.server = std::make_unique<httplib::SSLServer>((dir + "/server.pem").c_str(),
                                                             (dir + "/server.key").c_str());
        if (!secure.server->is_valid()) return false;
        routes(*secure.server);
        secure.server->Get(
            "/to-plain", [plain](const httplib::Request&, httplib::Response& response) {
                response.set_redirect("http://127.0.0.1:" + std::to_string(plain) + "/text");
            });
        secure.port = secure.server->bind_to_any_port("127.0.0.1");
        if (secure.port <= 0) return false;
        httplib::SSLServer* server = secure.server.get();
        secure.thread = std::thread([server] { server->listen_after_bind(); });
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "tls")) {
        std::fprintf(stderr, "usage: test_http_server <port file> <folder> <seconds> [tls]\n");
        return 2;
    }
    httplib::Server server;
    routes(server);
    server.set_mount_point("/files", argv[2]);
    std::mutex mutex;
    std::condition_variable ended;
    bool quit = false;
    server.Get("/quit", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("bye", "text/plain");
        const std::lock_guard<std::mutex> lock(mutex);
        quit = true;
        ended.notify_all();
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return 1;
    std::vector<Secure> secure;
    if (argc == 5) {
        using simulator::ServerCertificate;
        for (const auto& [name, kind] :
             {std::pair{"good", ServerCertificate::kGood},
              std::pair{"wrong_host", ServerCertificate::kWrongHost},
              std::pair{"expired", ServerCertificate::kExpired},
              std::pair{"self_signed", ServerCertificate::kSelfSigned}}) {
            secure.push_back(Secure{name, kind, nullptr, 0, {}});
        }
        if (!start_secure(secure, argv[2], port)) return 1;
    }

    const std::string temporary = std::string(argv[1]) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return 1;
    std::fprintf(file, "%d\n", port);
    for (const Secure& listener : secure)
        std::fprintf(file, "%s %d\n", listener.name, listener.port);
    std::fclose(file);
    if (std::rename(temporary.c_str(), argv[1]) != 0) return 1;

    // Stops by itself: on /quit, or when the test forgot to ask.
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        ended.wait_for(lock, std::chrono::seconds(std::atoi(argv[3])), [&] { return quit; });
        server.stop();
        for (Secure& listener : secure) listener.server->stop();
    });
    server.listen_after_bind();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        quit = true;
        ended.notify_all();
    }
    watchdog.join();
    for (Secure& listener : secure) listener.thread.join();
    return 0;
}
