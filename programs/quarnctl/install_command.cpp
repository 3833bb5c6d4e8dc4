// quarnctl install: hands a policy packet to InstallTarnAssistant, as the
// check page does when the user installs the assistant.
#include <cstdio>
#include <string>

#include "programs/quarnctl/agent_library.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"

namespace quarnctl {
namespace {

bool read_whole_file(const char* path, std::string* bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
    const bool complete = std::ferror(file) == 0;
    std::fclose(file);
    return complete;
}

}  // namespace

int run_install(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "quarnctl install: give exactly one packet file (see --help)\n");
        return 2;
    }
    // The packet is the server's GBK text, handed over unchanged.
    std::string packet;
    if (!read_whole_file(argv[0], &packet)) {
        std::fprintf(stderr, "quarnctl install: cannot read %s\n", argv[0]);
        return 2;
    }
    const TextExport install = agent_export("install", "InstallTarnAssistant");
    if (install == nullptr) return 1;
    const TextResult outcome = call_text_export(install, packet.c_str());
    if (outcome.result == 0) {
        std::fprintf(stderr, "quarnctl install: failed: %s\n", printable(outcome.text).c_str());
        return 1;
    }
    // 1 also when the packet went to an assistant that already runs.
    std::printf("installed (InstallTarnAssistant returned 1)\n");
    return 0;
}

}  // namespace quarnctl
