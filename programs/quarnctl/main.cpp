// quarnctl <command> [options]: dispatches to the command table.
#include <cstdio>
#include <cstring>

#include "cutil/product_version.h"
#include "programs/quarnctl/command.h"

namespace {

bool is_help(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

void print_tool_usage(std::FILE* out) {
    std::fputs(
        "usage: quarnctl <command> [options]\n"
        "       quarnctl <command> --help\n"
        "       quarnctl --version\n"
        "\n"
        "commands:\n",
        out);
    std::size_t count = 0;
    const quarnctl::Command* all = quarnctl::commands(&count);
    for (std::size_t i = 0; i < count; ++i) {
        std::fprintf(out, "  %-10s %s\n", all[i].name, all[i].summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || is_help(argv[1])) {
        print_tool_usage(stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quarnctl %s\n", quarn::product_version());
        return 0;
    }
    if (std::strcmp(argv[1], "help") == 0) {
        const quarnctl::Command* command = argc > 2 ? quarnctl::find_command(argv[2]) : nullptr;
        if (command == nullptr) {
            print_tool_usage(stdout);
        } else {
            quarnctl::print_usage(*command);
        }
        return 0;
    }
    const quarnctl::Command* command = quarnctl::find_command(argv[1]);
    if (command == nullptr) {
        std::fprintf(stderr, "quarnctl: unknown command '%s'\n\n", argv[1]);
        print_tool_usage(stderr);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (is_help(argv[i])) {
            quarnctl::print_usage(*command);
            return 0;
        }
    }
    return command->run(argc - 2, argv + 2);
}
