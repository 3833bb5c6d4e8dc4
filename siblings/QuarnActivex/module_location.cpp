#include "siblings/QuarnActivex/module_location.h"

#include <filesystem>

#include "cutil/text.h"

namespace activex {
namespace {

// Windows file names ignore case; POSIX ones do not.
constexpr bool kFoldCase = std::filesystem::path::preferred_separator == '\\';

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

bool is_remote(const std::string& path) {
    return cutil_str_istr(path.c_str(), "http://") == path.c_str() ||
           cutil_str_istr(path.c_str(), "https://") == path.c_str();
}

// A ".." step: ".." between separators or at either end.
bool has_parent_step(const std::string& path) {
    for (std::size_t at = path.find(".."); at != std::string::npos; at = path.find("..", at + 1)) {
        const bool starts = at == 0 || is_separator(path[at - 1]);
        const bool ends = at + 2 == path.size() || is_separator(path[at + 2]);
        if (starts && ends) return true;
    }
    return false;
}

bool has_drive(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

char folded(char c) {
    if (is_separator(c)) return '\\';
    if (kFoldCase && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

}  // namespace

bool is_inside(const std::string& path, const std::string& folder) {
    if (folder.empty() || !is_separator(folder.back()) || path.size() <= folder.size()) {
        return false;
    }
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (folded(path[i]) != folded(folder[i])) return false;
    }
    return true;
}

std::string remote_file_name(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(slash + 1);
}

std::string remote_folder(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(0, slash + 1);
}

Place place_module(const std::string& module_path, const std::vector<std::string>& trusted) {
    Place place;
    if (module_path.empty()) {
        place.why = "没有指定模块路径";
        return place;
    }
    if (is_remote(module_path)) {
        const std::string name = remote_file_name(module_path);
        // The name becomes a file name of the cache: no query, no step out.
        if (name.empty() || name.find("..") != std::string::npos ||
            name.find_first_of("\\:?*\"<>|#%") != std::string::npos) {
            place.why = "下载地址中的模块名不是文件名";
            return place;
        }
        place.location = Location::kRemote;
        place.path = module_path;
        return place;
    }
    if (has_parent_step(module_path)) {
        place.why = "路径含有上级目录";
        return place;
    }
    if (is_separator(module_path[0]) && module_path.size() > 1 && is_separator(module_path[1])) {
        place.why = "不加载网络共享上的模块";
        return place;
    }
    const bool absolute =
        is_separator(module_path[0]) ||
        (has_drive(module_path) && module_path.size() > 2 && is_separator(module_path[2]));
    if (!absolute && has_drive(module_path)) {
        place.why = "路径只有盘符没有目录";
        return place;
    }
    if (!absolute) {
        // A bare name or a relative path: the assistant directory only,
        // never the system's search path.
        if (trusted.empty()) {
            place.why = "没有助手目录";
            return place;
        }
        place.location = Location::kLocal;
        place.path = trusted.front() + module_path;
        return place;
    }
    for (const std::string& folder : trusted) {
        if (is_inside(module_path, folder)) {
            place.location = Location::kLocal;
            place.path = module_path;
            return place;
        }
    }
    place.why = "模块不在助手目录或下载缓存中";
    return place;
}

}  // namespace activex
