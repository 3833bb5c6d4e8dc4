#include "os/pkcs11.h"

namespace os {

const char* pkcs11_default_module() {
    return "p11-kit-proxy.so";
}

}  // namespace os
