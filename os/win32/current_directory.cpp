// The process's current directory (kept apart from file.cpp: one caller).
#include <windows.h>

#include "os/file.h"

namespace os {

bool directory_set_current(const char* path) {
    return SetCurrentDirectoryA(path) != FALSE;
}

}  // namespace os
