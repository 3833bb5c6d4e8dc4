// quarnctl install: hands a policy packet to InstallTarnAssistant, as the
// check page does when the user installs the assistant.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "programs/quarnctl/agent_library.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"

namespace quarnctl {

int run_install(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "quarnctl install: give exactly one packet file (see --help)\n");
        return 2;
    }
    std::ifstream file(argv[0], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "quarnctl install: cannot read %s\n", argv[0]);
        return 2;
    }
    // The packet is the server's GBK text, handed over unchanged.
    const std::string packet((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
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
