// The bare client of the admission-pass benchmark: replays, in order, the
// requests one recorded pass made and prints, per round, the wall time and
// this process's CPU time the exchanges took.
//
//     admission_replay [--host IP] [--udp-port N] [--http-port N] [--key KEY]
//                      [--rounds N] EXCHANGES
//
// EXCHANGES holds one block per exchange, written by bench/admission.py:
//     "udp <n>\n" and n bytes (the request's text form, GBK)
//     "get <n>\n" and n bytes (path and query)
//     "post <n> <m>\n", n bytes of path, m bytes of form body
// each followed by "\n". Output: "round <i> wall_us <w> cpu_us <c>" lines,
// then "exchanges <n>"; exit 1 when an exchange got no answer.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"

namespace {

enum class Kind { kUdp, kGet, kPost };

struct Exchange {
    Kind kind;
    std::string target;  // the request text (UDP) or path and query (HTTP)
    std::string body;    // the form of a POST
};

struct Options {
    std::string host = "127.0.0.1";
    int udp_port = 36537;
    int http_port = 36580;
    std::string key;
    int rounds = 1;
    std::string file;
};

bool read_block(std::istream& in, std::size_t size, std::string* out) {
    out->assign(size, '\0');
    if (size > 0 && !in.read(&(*out)[0], static_cast<std::streamsize>(size))) return false;
    return true;
}

// The exchanges of the file; false (with a message) when it is malformed.
bool load(const std::string& path, std::vector<Exchange>* exchanges) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "admission_replay: cannot read %s\n", path.c_str());
        return false;
    }
    std::string header;
    while (std::getline(in, header)) {
        if (header.empty()) continue;
        std::istringstream fields(header);
        std::string word;
        std::size_t first = 0, second = 0;
        fields >> word >> first;
        Exchange exchange{Kind::kUdp, {}, {}};
        if (word == "get") {
            exchange.kind = Kind::kGet;
        } else if (word == "post") {
            exchange.kind = Kind::kPost;
            fields >> second;
        } else if (word != "udp") {
            fields.setstate(std::ios::failbit);
        }
        if (!fields || !read_block(in, first, &exchange.target) ||
            !read_block(in, second, &exchange.body)) {
            std::fprintf(stderr, "admission_replay: bad block after %zu exchanges\n",
                         exchanges->size());
            return false;
        }
        exchanges->push_back(std::move(exchange));
    }
    return true;
}

bool parse_options(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--host" && has_value) {
            options->host = argv[++i];
        } else if (arg == "--udp-port" && has_value) {
            options->udp_port = std::atoi(argv[++i]);
        } else if (arg == "--http-port" && has_value) {
            options->http_port = std::atoi(argv[++i]);
        } else if (arg == "--key" && has_value) {
            options->key = argv[++i];
        } else if (arg == "--rounds" && has_value) {
            options->rounds = std::atoi(argv[++i]);
        } else if (options->file.empty() && arg.rfind("--", 0) != 0) {
            options->file = arg;
        } else {
            return false;
        }
    }
    return !options->file.empty() && options->rounds > 0;
}

// One exchange; false when the server gave no answer.
bool replay(const Options& options, const Exchange& exchange) {
    if (exchange.kind == Kind::kUdp) {
        const XmlDocument request(
            cutil_xml_import(exchange.target.c_str(), "admission_replay", "replay", __LINE__));
        if (!request) return false;
        XmlNode* reply = nullptr;
        const communicate::ExchangeTimes times{3000, 3};
        if (communicate::udp_exchange(options.host.c_str(), options.udp_port, request.get(), &reply,
                                      options.key, times) == 0) {
            return false;
        }
        cutil_xml_free(reply);
        return true;
    }
    // A connection per request, as the agent's page requests make.
    httplib::Client client(options.host, options.http_port);
    client.set_connection_timeout(10);
    client.set_read_timeout(30);
    const httplib::Result result =
        exchange.kind == Kind::kGet
            ? client.Get(exchange.target)
            : client.Post(exchange.target, exchange.body, "application/x-www-form-urlencoded");
    return static_cast<bool>(result);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: admission_replay [--host IP] [--udp-port N] [--http-port N] "
                     "[--key KEY] [--rounds N] EXCHANGES\n");
        return 2;
    }
    std::vector<Exchange> exchanges;
    if (!load(options.file, &exchanges)) return 2;
    for (int round = 0; round < options.rounds; ++round) {
        const auto wall_start = std::chrono::steady_clock::now();
        const std::clock_t cpu_start = std::clock();
        for (std::size_t i = 0; i < exchanges.size(); ++i) {
            if (!replay(options, exchanges[i])) {
                std::fprintf(stderr, "admission_replay: exchange %zu got no answer\n", i + 1);
                return 1;
            }
        }
        const std::clock_t cpu_end = std::clock();
        const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - wall_start);
        const double cpu_us = 1e6 * static_cast<double>(cpu_end - cpu_start) / CLOCKS_PER_SEC;
        std::printf("round %d wall_us %lld cpu_us %.0f\n", round + 1,
                    static_cast<long long>(wall.count()), cpu_us);
        std::fflush(stdout);
    }
    std::printf("exchanges %zu\n", exchanges.size());
    return 0;
}
