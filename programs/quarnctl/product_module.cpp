#include "programs/quarnctl/product_module.h"

#include <string>

#include "interface/assistant_dir.h"
#include "os/module.h"

namespace quarnctl {

os::Handle load_product_module(const char* file_name) {
    char own[kPathSize] = "";
    const std::size_t length = os::module_executable_path(own, sizeof own);
    std::string folder(own, length < sizeof own ? length : 0);
    const std::size_t separator = folder.find_last_of("\\/");
    folder = separator == std::string::npos ? "" : folder.substr(0, separator + 1);
    if (os::Handle module = os::module_load((folder + file_name).c_str())) return module;
    char assistant[kPathSize] = "";
    if (!gateway::assistant_file_path(file_name, assistant)) return nullptr;
    return os::module_load(assistant);
}

}  // namespace quarnctl
