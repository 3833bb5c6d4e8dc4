#include "os/profile.h"

#include <windows.h>

namespace os {

bool profile_write_string(const char* path, const char* section, const char* key,
                          const char* value) {
    if (!profile_single_line(section) || !profile_single_line(key) || !profile_single_line(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}

}  // namespace os
