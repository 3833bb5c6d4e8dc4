// The loopback web server of the HTTP tests, run as a process of its own
// (test_http_server, a native program: under Wine it is started from the
// Windows test program like any other program). Each object starts one
// server with a fresh folder that it serves under /files/.
#pragma once

#include <map>
#include <string>

#include "os/types.h"

namespace quarn::test {

class TestServer {
  public:
    // With `tls`, HTTPS listeners too, one per server certificate ("good",
    // "wrong_host", "expired", "self_signed"), all chaining to one root.
    explicit TestServer(bool tls = false);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // False when the server did not come up (the reason is in the failure).
    bool ready() const { return port_ > 0; }
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    // "https://localhost:<port of `listener`><path>".
    std::string secure_url(const std::string& listener, const std::string& path) const;
    // The served folder as this program names it, ending in a separator.
    const std::string& folder() const { return folder_; }
    // What the agent's addresses received since the last call, one line per
    // request: "METHOD target | content type | body".
    std::string received() const;

  private:
    std::string work_;    // this program's name for the work folder
    std::string folder_;  // work_ + "files" + separator
    os::Handle process_ = nullptr;
    int port_ = 0;
    std::map<std::string, int> secure_ports_;
};

// Bytes of a file ("" when it cannot be read) and a whole-file write.
std::string file_text(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);

}  // namespace quarn::test
