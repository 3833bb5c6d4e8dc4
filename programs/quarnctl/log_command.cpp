// quarnctl log: print the user log that the log module writes, and with
// --follow keep printing what is appended, across rotations.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "interface/assistant_dir.h"
#include "os/file.h"
#include "os/text.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/options.h"
#include "siblings/QuarnAssLog/user_log_file.h"

namespace quarnctl {
namespace {

constexpr std::uint32_t kShareAll = os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete;
constexpr std::uint32_t kFollowWaitMs = 200;

// Prints what the file holds past what was printed; false when nothing came.
bool print_more(os::Handle file) {
    char chunk[16384];
    bool printed = false;
    for (std::size_t got = 0; os::file_read(file, chunk, sizeof chunk, &got) && got > 0;) {
        const std::string utf8 = os::gbk_to_utf8(chunk, got);
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
        printed = true;
    }
    std::fflush(stdout);
    return printed;
}

std::uint64_t size_of(os::Handle file) {
    std::uint64_t size = 0;
    return file != nullptr && os::file_size(file, &size) ? size : 0;
}

}  // namespace

int run_log(int argc, char** argv) {
    Options options;
    if (!options.parse("log", argc, argv, {{"--follow", false}, {"--interval", true}})) return 2;
    std::uint32_t interval = 0;
    if (!options.milliseconds("--interval", kFollowWaitMs, &interval)) return 2;
    char path[kPathSize] = "";
    if (!gateway::assistant_file_path(user_log::kLogFileName, path)) return 1;

    os::Handle file = os::file_open_read(path, kShareAll);
    if (file == nullptr && !options.has("--follow")) {
        std::fprintf(stderr, "quarnctl log: %s holds no log yet\n", path);
        return 1;
    }
    std::uint64_t printed = 0;
    if (file != nullptr) {
        print_more(file);
        printed = size_of(file);
    }
    while (options.has("--follow")) {
        if (file != nullptr && print_more(file)) {
            printed = size_of(file);
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(interval));
        // After a rotation the name holds a new, shorter file: start on it.
        os::Handle current = os::file_open_read(path, kShareAll);
        if (current == nullptr) continue;
        if (file == nullptr || size_of(current) < printed) {
            if (file != nullptr) print_more(file);
            os::file_close(file);
            file = current;
            printed = 0;
        } else {
            os::file_close(current);
        }
    }
    os::file_close(file);
    return 0;
}

}  // namespace quarnctl
