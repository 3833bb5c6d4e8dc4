// Running a program from a test: one of the system's own command-line tools,
// or one of ours from the build's bin/.
#pragma once

#include <string>
#include <vector>

namespace quarn::test {

// Runs the program at `path` with `arguments` and waits for it (30 s at
// most): its exit code, -1 when it did not start or end.
int run_program(const std::string& path, std::vector<const char*> arguments);

// Runs `tool` ("reg.exe") of the system directory the same way.
int run_system_tool(const char* tool, std::vector<const char*> arguments);

}  // namespace quarn::test
