#include "autocheck/users/assistant_module.h"

#include "os/module.h"

namespace autocheck {

bool ensure_assistant_module(const char* file_name, char* path) {
    path[0] = '\0';
    if (os::module_find(file_name) != nullptr) return true;
    return gateway::assistant_file_path(file_name, path) && os::module_load(path) != nullptr;
}

}  // namespace autocheck
