// POSIX has no per-user root store of its own: the trusted roots are
// OpenSSL's, chosen with SSL_CERT_FILE / SSL_CERT_DIR (os/posix/http.cpp).
#include "os/http.h"

namespace os {

bool http_trust_root_add(const std::vector<std::uint8_t>&) {
    return false;
}

bool http_trust_root_remove(const std::vector<std::uint8_t>&) {
    return false;
}

}  // namespace os
