#include "support/helper_process.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "os/module.h"
#include "os/process.h"

namespace quarn::test {
namespace {

constexpr char kHelperSwitch[] = "--quarn-helper=";

std::map<std::string, HelperFunction>& helpers() {
    static std::map<std::string, HelperFunction> registry;
    return registry;
}

}  // namespace

HelperRegistration::HelperRegistration(const char* name, HelperFunction function) {
    helpers()[name] = function;
}

bool run_helper_if_requested(int argc, char** argv, int* exit_code) {
    if (argc < 2 || std::strncmp(argv[1], kHelperSwitch, sizeof kHelperSwitch - 1) != 0) {
        return false;
    }
    const auto found = helpers().find(argv[1] + sizeof kHelperSwitch - 1);
    *exit_code = found == helpers().end() ? 127 : found->second(argc - 2, argv + 2);
    return true;
}

os::Handle spawn_helper(const char* name, std::initializer_list<const char*> arguments) {
    char self[1024];
    if (os::module_executable_path(self, sizeof self) == 0) return nullptr;
    const std::string helper_switch = std::string(kHelperSwitch) + name;
    std::vector<const char*> argv{helper_switch.c_str()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(nullptr);
    return os::process_spawn(self, argv.data());
}

int wait_helper(os::Handle helper, std::uint32_t timeout_ms) {
    if (helper == nullptr) return -1;
    int result = -1;
    std::uint32_t code = 0;
    if (os::handle_wait(helper, timeout_ms) && os::process_exit_code(helper, &code)) {
        result = static_cast<int>(code);
    } else {
        os::process_terminate(helper, 1);
    }
    os::handle_close(helper);
    return result;
}

}  // namespace quarn::test
