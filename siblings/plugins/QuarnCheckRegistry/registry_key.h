// A registry key path of a policy item: "HKEY_LOCAL_MACHINE\SOFTWARE\Quarn"
// or its short form "HKLM\SOFTWARE\Quarn".
#pragma once

#include <cstdint>
#include <string>

#include "os/machine.h"

namespace plugin {

struct RegistryKey {
    os::RegistryRoot root = os::RegistryRoot::kLocalMachine;
    std::string subkey;  // "" names the root key itself
};

// False when the text does not begin with a root key's name.
bool parse_registry_key(const std::string& text, RegistryKey* key);

// A number as a policy writes it: decimal, or hexadecimal after "0x".
bool parse_registry_number(const std::string& text, std::uint64_t* number);

}  // namespace plugin
