// Unloading a module (kept apart from module.cpp: only tests need it).
#include <dlfcn.h>

#include "os/error.h"
#include "os/module.h"

namespace os {

bool module_free(Handle module) {
    if (module == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    return dlclose(module) == 0;
}

}  // namespace os
