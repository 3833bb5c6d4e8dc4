// Running one of the system's own command-line tools from a test.
#pragma once

#include <vector>

namespace quarn::test {

// Runs `tool` ("reg.exe") of the system directory with `arguments` and waits
// for it (30 s at most): its exit code, -1 when it did not start or end.
int run_system_tool(const char* tool, std::vector<const char*> arguments);

}  // namespace quarn::test
