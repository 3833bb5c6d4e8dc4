// Data protection on Windows: CryptProtectData under the calling user's key,
// never prompting (the assistant runs without a visible desktop at times).
#include "os/data_protection.h"

#include <windows.h>

// After windows.h: the lean build leaves out DATA_BLOB and the data-protection calls.
#include <dpapi.h>
#include <wincrypt.h>

#include <climits>

namespace os {
namespace {

bool transform(const void* data, std::size_t size, std::string* out, bool seal) {
    if (out == nullptr || (data == nullptr && size != 0) || size > ULONG_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DATA_BLOB input{static_cast<DWORD>(size), const_cast<BYTE*>(static_cast<const BYTE*>(data))};
    DATA_BLOB output{0, nullptr};
    BOOL done = FALSE;
    if (seal) {
        done = CryptProtectData(&input, nullptr, nullptr, nullptr, nullptr,
                                CRYPTPROTECT_UI_FORBIDDEN, &output);
    } else {
        done = CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr,
                                  CRYPTPROTECT_UI_FORBIDDEN, &output);
    }
    if (!done) return false;
    out->assign(reinterpret_cast<const char*>(output.pbData), output.cbData);
    SecureZeroMemory(output.pbData, output.cbData);
    LocalFree(output.pbData);
    return true;
}

}  // namespace

bool data_protect(const void* data, std::size_t size, std::string* out) {
    return transform(data, size, out, true);
}

bool data_unprotect(const void* data, std::size_t size, std::string* out) {
    return transform(data, size, out, false);
}

bool data_protection_encrypts() {
    return true;
}

}  // namespace os
