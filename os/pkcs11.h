// USB keys as PKCS#11 tokens: the module named by the caller (a vendor's
// library, p11-kit's proxy by default on POSIX) is loaded with the platform's
// module loader and driven through its C_GetFunctionList table. Only reading:
// which tokens are present, their serial numbers and the certificates they
// hold (public objects, no log-in).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

struct Pkcs11Token {
    std::string serial;  // the token's serial number, padding removed
    std::string label;
    std::vector<std::vector<std::uint8_t>> certificates;  // DER of each X.509 certificate object
};

enum class Pkcs11Status {
    kDone,           // `tokens` holds every present token (possibly none)
    kModuleMissing,  // the module does not load
    kNotPkcs11,      // it has no usable C_GetFunctionList
    kInitializeFailed,
    kFailed,  // a call on the slots or a token failed
};

// The module used when the configuration names none: "p11-kit-proxy.so" on
// POSIX (every module registered with p11-kit); "" on Windows, which has no
// system-wide PKCS#11 module.
const char* pkcs11_default_module();

// Reads every slot with an initialised token present. Calls are serialised inside: a
// module is initialised and finalised around each reading.
Pkcs11Status pkcs11_tokens(const char* module_path, bool with_certificates,
                           std::vector<Pkcs11Token>* tokens);

// A short English name of a status, for traces.
const char* pkcs11_status_text(Pkcs11Status status);

}  // namespace os
