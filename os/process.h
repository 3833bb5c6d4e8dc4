// Processes and threads.
#pragma once

#include <cstdint>
#include <string>

#include "os/types.h"

namespace os {

std::uint32_t process_id();
std::uint32_t thread_id();
// The process command line as the system gives it (GetCommandLineA; on POSIX
// the arguments of /proc/self/cmdline joined by blanks).
const char* process_command_line();

using ThreadFunction = std::uint32_t (*)(void* argument);
// Starts a thread with the default stack size; null on failure. Close the
// handle with handle_close (the thread keeps running).
Handle thread_start(ThreadFunction function, void* argument);
// Waits for a thread or process handle; true when it ended in time.
bool handle_wait(Handle handle, std::uint32_t timeout_ms);
void handle_close(Handle handle);

// Number of running processes whose executable file name, compared without
// regard to case over its own length, equals the beginning of `exe_name`;
// counting stops at `stop_at` (0 = count all).
int process_count_by_name(const char* exe_name, int stop_at);

// Shell-style launch ("open" verb, ShellExecuteExA with
// SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI).
// `parameters` is one command-line text. On success *process receives the
// process handle when the system gives one (may stay null).
bool process_shell_open(const char* file, const char* parameters, int show_state, Handle* process);

// `argument` quoted as one argument of such a command-line text: the program
// reads it back whole, whatever quotes it holds or backslashes it ends in.
std::string command_argument_quote(const std::string& argument);
// Starts `path` with `arguments` (argv style, null-terminated, without
// argv[0]) and returns its handle; used by the tools and test helpers.
Handle process_spawn(const char* path, const char* const* arguments);
// Opens a process with terminate access only (the handle cannot be waited on).
Handle process_open_for_terminate(std::uint32_t pid);
bool process_terminate(Handle process, std::uint32_t exit_code);
// Exit code of an ended process; false while it runs.
bool process_exit_code(Handle process, std::uint32_t* exit_code);

// Ends the whole process. Goes through the exit seam (seams.h) first.
[[noreturn]] void process_exit(std::uint32_t exit_code);

}  // namespace os
