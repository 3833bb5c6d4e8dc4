#include "tests/siblings/http_client/server/test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "os/error.h"
#include "os/http.h"
#include "os/module.h"
#include "os/process.h"

namespace quarn::test {
namespace {

constexpr char kLifetimeSeconds[] = "300";

std::string executable_folder() {
    char path[1024] = "";
    os::module_executable_path(path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("/\\") + 1);
}

// The name the native server gives a path of this program: the same on
// POSIX; under Wine, drive Z: is the machine's root.
std::string native_name(std::string path) {
    if (path.size() > 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
        path.erase(0, 2);
        for (char& c : path) c = c == '\\' ? '/' : c;
    }
    return path;
}

// The server program as this program starts it.
std::string server_program() {
    std::string path = QUARN_HTTP_TEST_SERVER;
    if (path.size() > 2 && path[1] == ':') {
        for (char& c : path) c = c == '/' ? '\\' : c;
    }
    return path;
}

}  // namespace

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

TestServer::TestServer(bool tls) {
    static int serial = 0;
    const char separator = std::filesystem::path::preferred_separator;
    work_ = executable_folder() + "http-server-" + std::to_string(os::process_id()) + "-" +
            std::to_string(++serial) + separator;
    folder_ = work_ + "files" + separator;
    std::error_code ignored;
    std::filesystem::remove_all(work_, ignored);
    std::filesystem::create_directories(folder_, ignored);

    const std::string port_file = work_ + "port";
    const std::string native_port_file = native_name(port_file);
    const std::string native_folder = native_name(folder_);
    const char* arguments[] = {native_port_file.c_str(), native_folder.c_str(), kLifetimeSeconds,
                               tls ? "tls" : nullptr, nullptr};
    // Wine starts a Linux program without giving a process handle back, so
    // a null handle proves nothing: the port file says whether it runs.
    process_ = os::process_spawn(server_program().c_str(), arguments);
    for (int waited = 0; waited < 400 && port_ <= 0; ++waited) {
        port_ = std::atoi(file_text(port_file).c_str());
        if (port_ <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::istringstream lines(file_text(port_file));
    std::string line;
    std::getline(lines, line);
    for (std::string name; lines >> name;) lines >> secure_ports_[name];
    if (port_ <= 0) {
        ADD_FAILURE() << "the test server " << server_program() << " wrote no port into "
                      << port_file << " (error " << os::last_error() << ")";
    }
}

TestServer::~TestServer() {
    if (port_ > 0) {
        os::HttpRequest quit;
        quit.url = url("/quit");
        os::HttpResponse ignored;
        os::http_request(quit, &ignored);
    }
    if (process_ != nullptr) {
        os::handle_wait(process_, 10000);  // Wine gives no waitable handle for a native program
        os::handle_close(process_);
    }
    std::error_code ignored;
    std::filesystem::remove_all(work_, ignored);
}

std::string TestServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string TestServer::secure_url(const std::string& listener, const std::string& path) const {
    const auto found = secure_ports_.find(listener);
    return "https://localhost:" + std::to_string(found != secure_ports_.end() ? found->second : 1) +
           path;
}

std::string TestServer::received() const {
    os::HttpRequest request;
    request.url = url("/received");
    os::HttpResponse response;
    return os::http_request(request, &response) ? response.body : "(no answer)";
}

}  // namespace quarn::test
