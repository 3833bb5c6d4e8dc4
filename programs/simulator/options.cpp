#include "programs/simulator/options.h"

#include <cstdlib>
#include <vector>

#include "programs/simulator/fleet.h"
#include "programs/simulator/scenario.h"

namespace simulator {

const char kUsage[] =
    "usage: quarnsim [serve] --scenario FILE [--download-dir DIR] [--record FILE]\n"
    "                [--listen ADDRESS] [--udp-port N] [--http-port N] [--exit-after SECONDS]\n"
    "                [--tls-dir DIR]\n"
    "       quarnsim make-chain DIR [--host NAME] [--address IP]\n"
    "       quarnsim push [--host ADDRESS] [--http-port N] [--wait SECONDS] [--address IP[:PORT]]\n"
    "                DEVICE COMMAND [Element=value ...]\n"
    "       quarnsim push [--host ADDRESS] [--http-port N] [--wait SECONDS] --all COMMAND\n"
    "                [Element=value ...]\n";

namespace {

bool number(const std::string& text, unsigned long maximum, unsigned long* value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return false;
    }
    *value = std::strtoul(text.c_str(), nullptr, 10);
    return *value <= maximum;
}

bool port(const std::string& text, std::uint16_t* value) {
    unsigned long parsed = 0;
    if (!number(text, 65535, &parsed)) return false;
    *value = static_cast<std::uint16_t>(parsed);
    return true;
}

}  // namespace

std::optional<Options> parse_options(int argc, const char* const* argv, std::string* error) {
    Options options;
    int i = 1;
    options.mode = Options::Mode::kServe;
    if (argc > 1 && std::string(argv[1]) == "push") {
        options.mode = Options::Mode::kPush;
        options.push.http_port = kDefaultHttpPort;
        ++i;
    } else if (argc > 1 && std::string(argv[1]) == "serve") {
        ++i;
    } else if (argc > 1 && std::string(argv[1]) == "make-chain") {
        options.mode = Options::Mode::kMakeChain;
        ++i;
    }
    std::vector<std::string> positional;
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            options.mode = Options::Mode::kHelp;
            return options;
        }
        if (option.rfind("--", 0) != 0) {
            positional.push_back(option);
            continue;
        }
        // Every device: the positional device is left out.
        if (option == "--all" && options.mode == Options::Mode::kPush) {
            positional.insert(positional.begin(), kAllDevices);
            continue;
        }
        if (i + 1 >= argc) {
            *error = option + " needs a value";
            return std::nullopt;
        }
        const std::string value = argv[++i];
        std::uint16_t parsed_port = 0;
        unsigned long seconds = 0;
        bool good = true;
        if (options.mode == Options::Mode::kServe) {
            ServeOptions& serve = options.serve;
            if (option == "--scenario")
                serve.scenario = value;
            else if (option == "--download-dir")
                serve.download_dir = value;
            else if (option == "--record")
                serve.record = value;
            else if (option == "--tls-dir")
                serve.tls_dir = value;
            else if (option == "--listen")
                serve.listen = value;
            else if (option == "--udp-port" && (good = port(value, &parsed_port)))
                serve.udp_port = parsed_port;
            else if (option == "--http-port" && (good = port(value, &parsed_port)))
                serve.http_port = parsed_port;
            else if (option == "--exit-after" && (good = number(value, 7 * 86400, &seconds))) {
                serve.exit_after = static_cast<unsigned>(seconds);
            } else if (good) {
                *error = "unknown option " + option;
                return std::nullopt;
            }
        } else if (options.mode == Options::Mode::kMakeChain) {
            if (option == "--host")
                options.chain.host = value;
            else if (option == "--address")
                options.chain.address = value;
            else {
                *error = "unknown option " + option;
                return std::nullopt;
            }
        } else {
            PushOptions& push = options.push;
            if (option == "--host")
                push.host = value;
            else if (option == "--http-port")
                good = port(value, &push.http_port);
            else if (option == "--wait" && (good = number(value, 600, &seconds)))
                push.fields["wait"] = value;
            else if (option == "--address")
                push.fields["address"] = value;
            else if (good && option != "--wait") {
                *error = "unknown option " + option;
                return std::nullopt;
            }
        }
        if (!good) {
            *error = "bad value for " + option + ": " + value;
            return std::nullopt;
        }
    }
    if (options.mode == Options::Mode::kServe) {
        if (options.serve.scenario.empty() || !positional.empty()) {
            *error = positional.empty() ? "--scenario is required" : "unexpected " + positional[0];
            return std::nullopt;
        }
        return options;
    }
    if (options.mode == Options::Mode::kMakeChain) {
        if (positional.size() != 1) {
            *error = "make-chain needs one folder";
            return std::nullopt;
        }
        options.chain.dir = positional[0];
        return options;
    }
    if (positional.size() < 2) {
        *error = "push needs a device and a command";
        return std::nullopt;
    }
    options.push.fields["device"] = positional[0];
    options.push.fields["command"] = positional[1];
    for (std::size_t k = 2; k < positional.size(); ++k) {
        const std::size_t equals = positional[k].find('=');
        if (equals == std::string::npos || equals == 0) {
            *error = "expected Element=value, not " + positional[k];
            return std::nullopt;
        }
        options.push.fields[positional[k].substr(0, equals)] = positional[k].substr(equals + 1);
    }
    return options;
}

}  // namespace simulator
