// A loopback web server for the HTTP tests, a native program so that the
// Windows tests under Wine reach it too (cpp-httplib does not build for
// Windows here). Usage: test_http_server <port file> <folder> <seconds>
// It binds 127.0.0.1 on a free port, writes the port into <port file>,
// serves <folder> under /files/, and stops on GET /quit or after <seconds>.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

void routes(httplib::Server& server) {
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

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: test_http_server <port file> <folder> <seconds>\n");
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

    const std::string temporary = std::string(argv[1]) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return 1;
    std::fprintf(file, "%d\n", port);
    std::fclose(file);
    if (std::rename(temporary.c_str(), argv[1]) != 0) return 1;

    // Stops by itself: on /quit, or when the test forgot to ask.
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        ended.wait_for(lock, std::chrono::seconds(std::atoi(argv[3])), [&] { return quit; });
        server.stop();
    });
    server.listen_after_bind();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        quit = true;
        ended.notify_all();
    }
    watchdog.join();
    return 0;
}
