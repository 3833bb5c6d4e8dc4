#include <cstdio>
#include <cstring>

#include "programs/quarnctl/command.h"

namespace quarnctl {
namespace {

const Command kCommands[] = {
    {"trace", "show the diagnostic trace records of every module",
     "usage: quarnctl trace [--follow] [--interval MS]\n"
     "\n"
     "Creates the trace ring that LogTrace writes into and prints each record as\n"
     "one line: level, date and time, pid/tid, module, source:line, function and\n"
     "message. Records are only kept while a reader holds the ring.\n"
     "\n"
     "  --follow        keep reading until interrupted\n"
     "  --interval MS   without --follow: how long to collect records before\n"
     "                  printing them (default 1000); with --follow: the longest\n"
     "                  wait between two looks at the ring (default 200)\n",
     run_trace},
    {"memory", "show the allocation table of tracked memory",
     "usage: quarnctl memory [--watch] [--interval MS]\n"
     "\n"
     "Creates the shared allocation table that tracked memory registers into and\n"
     "prints its sites (registrations, releases, live and total bytes, pid,\n"
     "source:line, function) and each site's live blocks. Blocks are only\n"
     "registered while a monitor holds the table.\n"
     "\n"
     "  --watch         print the table again every interval until interrupted\n"
     "  --interval MS   the watch interval (default 2000)\n",
     run_memory},
};

}  // namespace

const Command* commands(std::size_t* count) {
    *count = sizeof kCommands / sizeof kCommands[0];
    return kCommands;
}

const Command* find_command(const char* name) {
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

void print_usage(const Command& command) {
    std::fputs(command.usage, stdout);
}

}  // namespace quarnctl
