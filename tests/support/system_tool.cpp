#include "support/system_tool.h"

#include <string>

#include "os/process.h"
#include "os/system.h"

namespace quarn::test {

int run_system_tool(const char* tool, std::vector<const char*> arguments) {
    char folder[512];
    os::system_directory(folder, sizeof folder);
    arguments.push_back(nullptr);
    const os::Handle process =
        os::process_spawn((std::string(folder) + "\\" + tool).c_str(), arguments.data());
    std::uint32_t code = 0;
    const bool ended = process != nullptr && os::handle_wait(process, 30000) &&
                       os::process_exit_code(process, &code);
    if (process != nullptr) os::handle_close(process);
    return ended ? static_cast<int>(code) : -1;
}

}  // namespace quarn::test
