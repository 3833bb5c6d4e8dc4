// The configured PKCS#11 module, read through the configuration module when
// the host has it loaded (looked up on every call: the module may come and go).
#include <string>

#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/pkcs11.h"
#include "siblings/QuarnCheckCert/usb_key.h"

namespace usb_key {
namespace {

std::string configured_module() {
    const os::Handle config = os::module_find(sibling::kConfigMgrDll);
    if (config == nullptr) return {};
    const auto read = reinterpret_cast<sibling::TarnReadConfigFunction>(
        os::module_symbol(config, sibling::kTarnReadConfigName));
    char* value = nullptr;
    if (read == nullptr || read(kModuleKey, &value) == 0 || value == nullptr) return {};
    std::string text = value;
    os::global_free(value);
    return text;
}

}  // namespace

KeySource key_source() {
    KeySource source;
    source.pkcs11_module = configured_module();
    if (source.pkcs11_module.empty()) source.pkcs11_module = os::pkcs11_default_module();
    return source;
}

}  // namespace usb_key
