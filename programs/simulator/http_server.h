// The server's web root on cpp-httplib: the agent's pages and requests, the
// download directory, and the admin page with its push endpoint. Every
// request is recorded when it has been answered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "programs/simulator/download_manifest.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/server_state.h"

namespace simulator {

class WebServer {
  public:
    WebServer(ServerState& state, Recorder& recorder);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds `host`:`port` (0: an ephemeral port) and starts serving, with the
    // files of `download_dir` (when not empty) under /download/.
    bool start(const std::string& host, std::uint16_t port, const std::string& download_dir);
    // Before start: serve HTTPS with the PEM chain and key of these files.
    void use_tls(const std::string& chain_file, const std::string& key_file);
    void stop();
    std::uint16_t port() const { return port_; }

  private:
    struct Routes;
    ServerState& state_;
    Recorder& recorder_;
    std::unique_ptr<Routes> routes_;
    std::unique_ptr<DownloadManifest> manifest_;
    std::string tls_chain_, tls_key_;
    std::string tls_pin_;  // the served key's ServerKeyPin, for the installation packet
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace simulator
