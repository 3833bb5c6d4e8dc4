#include "siblings/QuarnActivex/module_location.h"

#include "cutil/text.h"

namespace activex {
namespace {

bool is_remote(const std::string& path) {
    return cutil_str_istr(path.c_str(), "http://") == path.c_str() ||
           cutil_str_istr(path.c_str(), "https://") == path.c_str();
}

// A ".." step: ".." between separators or at either end.
bool has_parent_step(const std::string& path) {
    for (std::size_t at = path.find(".."); at != std::string::npos; at = path.find("..", at + 1)) {
        const bool starts = at == 0 || path[at - 1] == '/' || path[at - 1] == '\\';
        const bool ends = at + 2 == path.size() || path[at + 2] == '/' || path[at + 2] == '\\';
        if (starts && ends) return true;
    }
    return false;
}

}  // namespace

std::string remote_file_name(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(slash + 1);
}

Location classify_module_path(const std::string& module_path) {
    if (module_path.empty()) return Location::kRefused;
    if (!is_remote(module_path)) {
        return has_parent_step(module_path) ? Location::kRefused : Location::kLocal;
    }
    const std::string name = remote_file_name(module_path);
    if (name.empty() || name.find("..") != std::string::npos ||
        name.find('\\') != std::string::npos || name.find(':') != std::string::npos) {
        return Location::kRefused;
    }
    return Location::kRemote;
}

}  // namespace activex
