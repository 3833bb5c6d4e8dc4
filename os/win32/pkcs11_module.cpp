#include "os/pkcs11.h"

namespace os {

const char* pkcs11_default_module() {
    return "";
}

}  // namespace os
