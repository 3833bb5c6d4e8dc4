#include "interface/assistant_dir.h"

#include <cstring>

#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/sibling_lookup.h"
#include "os/system.h"

int GetAssistantDir(char* directory) {
    if (directory == nullptr) return 0;
    char base[kPathSize] = "";
    const std::size_t length = os::env_get("APPDATA", base, sizeof base);
    if (length == 0 || length >= sizeof base) {
        // A value too long for a path buffer would only yield a cut, wrong
        // folder; it counts as unset.
        if (length != 0) {
            LogTrace("GetAssistantDir", kTraceError, gateway::kTraceSource, __LINE__,
                     "APPDATA 太长: %u", static_cast<unsigned>(length));
        }
        std::strcpy(base, "C:\\");
    }
    const std::size_t base_length = std::strlen(base);
    const bool ends_in_backslash = base_length > 0 && base[base_length - 1] == '\\';
    directory[0] = '\0';
    cutil_str_append(base, directory, kPathSize);
    cutil_str_append(ends_in_backslash ? "Quarn\\" : "\\Quarn\\", directory, kPathSize);
    return 1;
}

namespace gateway {

void assistant_file_path(const char* file_name, char* path) {
    GetAssistantDir(path);
    cutil_str_append(file_name, path, kPathSize);
}

}  // namespace gateway
