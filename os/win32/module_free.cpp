// Unloading a module (kept apart from module.cpp: only tests need it).
#include <windows.h>

#include "os/module.h"

namespace os {

bool module_free(Handle module) { return FreeLibrary(static_cast<HMODULE>(module)) != FALSE; }

}  // namespace os
