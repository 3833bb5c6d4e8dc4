#include "os/profile.h"

#include <windows.h>

namespace os {

bool profile_write_string(const char* path, const char* section, const char* key,
                          const char* value) {
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}

}  // namespace os
