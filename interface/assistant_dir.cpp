#include "interface/assistant_dir.h"

#include <cstring>

#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/sibling_lookup.h"
#include "os/system.h"

namespace {

// What follows APPDATA: the folder "Quarn" with its trailing backslash.
const char* folder_suffix(const char* base, std::size_t length) {
    return length > 0 && base[length - 1] == '\\' ? "Quarn\\" : "\\Quarn\\";
}

}  // namespace

int GetAssistantDir(char* directory) {
    if (directory == nullptr) return 0;
    char base[kPathSize] = "";
    std::size_t length = os::env_get("APPDATA", base, sizeof base);
    bool fits = length > 0 && length < sizeof base &&
                length + std::strlen(folder_suffix(base, length)) < kPathSize;
    if (fits && !os::path_is_absolute(base)) {
        // A relative folder would move with the working folder: the store
        // and the log would be found in one place and written in another.
        LogTrace("GetAssistantDir", kTraceError, gateway::kTraceSource, __LINE__,
                 "APPDATA 不是绝对路径: %s", base);
        fits = false;
    } else if (!fits && length != 0) {
        // A folder that does not fit a path buffer whole would only be a
        // cut, wrong one: the value counts as unset.
        LogTrace("GetAssistantDir", kTraceError, gateway::kTraceSource, __LINE__,
                 "APPDATA 太长: %u", static_cast<unsigned>(length));
    }
    if (!fits) {
        // The system's own folder, else the drive's root (never a relative one).
        length = os::app_data_folder(base, sizeof base);
        fits = length > 0 && length + std::strlen(folder_suffix(base, length)) < kPathSize;
        if (!fits) std::strcpy(base, "C:\\");
    }
    directory[0] = '\0';
    cutil_str_append(base, directory, kPathSize);
    cutil_str_append(folder_suffix(base, std::strlen(base)), directory, kPathSize);
    return 1;
}

namespace gateway {

bool assistant_file_path(const char* file_name, char* path) {
    GetAssistantDir(path);
    const std::size_t length = std::strlen(path);
    if (file_name == nullptr || length + std::strlen(file_name) >= kPathSize) {
        // A cut path would name another file: nothing is handed on.
        LogTrace("GetAssistantDir", kTraceError, gateway::kTraceSource, __LINE__, "路径太长: %s%s",
                 path, file_name != nullptr ? file_name : "");
        path[0] = '\0';
        return false;
    }
    std::memcpy(path + length, file_name, std::strlen(file_name) + 1);
    return true;
}

}  // namespace gateway
