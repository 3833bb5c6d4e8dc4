// Data protection on POSIX: there is no per-user sealing key the way Windows
// has one, so the bytes pass through and the files holding them are their
// owner's only (data_protection_files.cpp).
#include "os/data_protection.h"

namespace os {

bool data_protect(const void* data, std::size_t size, std::string* out) {
    if (out == nullptr || (data == nullptr && size != 0)) return false;
    out->assign(static_cast<const char*>(data), size);
    return true;
}

bool data_unprotect(const void* data, std::size_t size, std::string* out) {
    return data_protect(data, size, out);
}

bool data_protection_encrypts() {
    return false;
}

}  // namespace os
