// quarnsim: the access server on loopback for the end-to-end tests and the
// demo. It prints "quarnsim ready udp=N http=N" once both ports answer, and
// stops on SIGTERM/SIGINT or after --exit-after seconds.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "os/session.h"
#include "os/socket.h"
#include "programs/simulator/http_server.h"
#include "programs/simulator/options.h"
#include "programs/simulator/recorder.h"
#include "programs/simulator/scenario.h"
#include "programs/simulator/server_state.h"
#include "programs/simulator/tls_chain.h"
#include "programs/simulator/udp_server.h"
#include "programs/simulator/xml_text.h"

namespace {

using namespace simulator;

constexpr int kPushSlackSeconds = 10;

int serve(const ServeOptions& options) {
    std::string error;
    std::optional<Scenario> scenario = load_scenario(options.scenario, &error);
    if (!scenario) {
        std::fprintf(stderr, "quarnsim: %s\n", error.c_str());
        return 2;
    }
    if (options.listen) scenario->listen_address = *options.listen;
    if (options.udp_port) scenario->udp_port = *options.udp_port;
    if (options.http_port) scenario->http_port = *options.http_port;
    os::SocketAddress listen;
    if (!os::socket_resolve(scenario->listen_address.c_str(), 0, &listen)) {
        std::fprintf(stderr, "quarnsim: cannot resolve %s\n", scenario->listen_address.c_str());
        return 2;
    }

    // Before any thread starts, so that every thread leaves the signals to us.
    os::termination_hold();
    Recorder recorder;
    if (!options.record.empty() && !recorder.open(options.record)) {
        std::fprintf(stderr, "quarnsim: cannot create %s\n", options.record.c_str());
        return 2;
    }
    ServerState state(std::move(*scenario));
    UdpServer udp(state, recorder);
    WebServer web(state, recorder);
    const Scenario& loaded = state.scenario();
    if (!udp.start(listen.ip, loaded.udp_port)) {
        std::fprintf(stderr, "quarnsim: cannot bind UDP port %u\n", loaded.udp_port);
        return 3;
    }
    if (!options.tls_dir.empty()) {
        web.use_tls(options.tls_dir + "/server.pem", options.tls_dir + "/server.key");
    }
    if (!web.start(loaded.listen_address, loaded.http_port, options.download_dir)) {
        std::fprintf(stderr, "quarnsim: cannot serve HTTP on port %u (or read %s%s%s)\n",
                     loaded.http_port, options.download_dir.c_str(),
                     options.tls_dir.empty() ? "" : ", ", options.tls_dir.c_str());
        return 3;
    }
    std::printf("quarnsim ready udp=%u http=%u%s\n", udp.port(), web.port(),
                options.tls_dir.empty() ? "" : " tls=1");
    std::fflush(stdout);

    std::mutex mutex;
    std::condition_variable ended;
    bool signalled = false;
    // Blocked in the signal wait for good when the time runs out first; it
    // ends with the process.
    std::thread([&] {
        os::termination_wait();
        std::lock_guard<std::mutex> lock(mutex);
        signalled = true;
        ended.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(mutex);
    if (options.exit_after > 0) {
        ended.wait_for(lock, std::chrono::seconds(options.exit_after), [&] { return signalled; });
    } else {
        ended.wait(lock, [&] { return signalled; });
    }
    lock.unlock();
    state.stop();
    web.stop();
    udp.stop();
    return 0;
}

int make_chain(const ChainOptions& options) {
    TlsChain chain;
    std::string error;
    if (!make_tls_chain(ServerCertificate::kGood, options.host, options.address, &chain, &error) ||
        !write_tls_chain(chain, options.dir)) {
        std::fprintf(stderr, "quarnsim: cannot make the chain in %s %s\n", options.dir.c_str(),
                     error.c_str());
        return 2;
    }
    std::printf("pin=%s\n", chain.pin.c_str());
    return 0;
}

int push(const PushOptions& options) {
    httplib::Client client(options.host, options.http_port);
    const auto wait = options.fields.find("wait");
    const int seconds = wait != options.fields.end() ? std::atoi(wait->second.c_str()) : 60;
    client.set_read_timeout(seconds + kPushSlackSeconds, 0);
    httplib::Params params(options.fields.begin(), options.fields.end());
    const auto response = client.Post("/admin/push", params);
    if (!response) {
        std::fprintf(stderr, "quarnsim: no simulator answers at %s:%u\n", options.host.c_str(),
                     options.http_port);
        return 2;
    }
    std::printf("%s\n", response->body.c_str());
    // 0 only for a push the agent answered; a wait of 0 asks for no answer.
    const Json outcome = Json::parse(response->body, nullptr, false);
    const bool sent = outcome.is_object() && outcome.value("sent", false);
    const bool answered = sent && outcome.value("answered", false);
    return answered || (sent && seconds == 0) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parse_options(argc, argv, &error);
    if (!options) {
        std::fprintf(stderr, "quarnsim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    switch (options->mode) {
        case Options::Mode::kServe:
            return serve(options->serve);
        case Options::Mode::kPush:
            return push(options->push);
        case Options::Mode::kMakeChain:
            return make_chain(options->chain);
        case Options::Mode::kHelp:
            break;
    }
    std::fputs(kUsage, stdout);
    return 0;
}
