#include "support/system_tool.h"

#include "os/process.h"
#include "os/system.h"

namespace quarn::test {

int run_program(const std::string& path, std::vector<const char*> arguments) {
    arguments.push_back(nullptr);
    const os::Handle process = os::process_spawn(path.c_str(), arguments.data());
    std::uint32_t code = 0;
    const bool ended = process != nullptr && os::handle_wait(process, 30000) &&
                       os::process_exit_code(process, &code);
    if (process != nullptr) os::handle_close(process);
    return ended ? static_cast<int>(code) : -1;
}

int run_system_tool(const char* tool, std::vector<const char*> arguments) {
    char folder[512];
    os::system_directory(folder, sizeof folder);
    return run_program(std::string(folder) + "\\" + tool, std::move(arguments));
}

}  // namespace quarn::test
