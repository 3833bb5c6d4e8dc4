// The command line: "quarnsim [serve] --scenario FILE [options]" runs the
// server, "quarnsim push DEVICE COMMAND [Element=value ...]" asks a running
// one to push a command.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace simulator {

struct ServeOptions {
    std::string scenario;
    std::string download_dir;
    std::string record;
    std::optional<std::string> listen;
    std::optional<std::uint16_t> udp_port;
    std::optional<std::uint16_t> http_port;
    std::string tls_dir;      // HTTPS with DIR/server.pem and DIR/server.key
    unsigned exit_after = 0;  // seconds; 0: until a termination signal
};

struct PushOptions {
    std::string host = "127.0.0.1";
    std::uint16_t http_port = 0;
    std::map<std::string, std::string> fields;  // device, command, wait, address, elements
};

// "quarnsim make-chain DIR [--host NAME] [--address IP]": a fresh root,
// intermediate and server certificate in DIR (tls_chain.h).
struct ChainOptions {
    std::string dir;
    std::string host = "localhost";
    std::string address = "127.0.0.1";
};

struct Options {
    enum class Mode { kServe, kPush, kMakeChain, kHelp } mode = Mode::kHelp;
    ServeOptions serve;
    PushOptions push;
    ChainOptions chain;
};

// The options of `argv`; nullopt with `error` when they are wrong.
std::optional<Options> parse_options(int argc, const char* const* argv, std::string* error);
extern const char kUsage[];

}  // namespace simulator
