// The subcommands of quarnctl: one file per command, one row each in the
// table of command_table.cpp.
#pragma once

#include <cstddef>

namespace quarnctl {

struct Command {
    const char* name;
    const char* summary;  // one line for the tool's --help
    const char* usage;    // the command's own --help, several lines
    // Runs with the arguments after the command name; the process exit code.
    int (*run)(int argc, char** argv);
};

// All commands, in the order --help lists them.
const Command* commands(std::size_t* count);
const Command* find_command(const char* name);

// Prints the command's usage to stdout.
void print_usage(const Command& command);

int run_trace(int argc, char** argv);
int run_memory(int argc, char** argv);
int run_check(int argc, char** argv);
int run_manifest(int argc, char** argv);
int run_install(int argc, char** argv);
int run_users(int argc, char** argv);
int run_switch(int argc, char** argv);
int run_status(int argc, char** argv);

}  // namespace quarnctl
