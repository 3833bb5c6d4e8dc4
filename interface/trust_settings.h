// The configuration keys that say how far the agent trusts what it receives,
// read by the modules that enforce them and shown by quarnctl status.
// docs/security.md describes each.
#pragma once

#include <string>

// The server's public key for module manifests (Base64 of X then Y).
inline constexpr char kModuleSignKeyName[] = "ModuleSignKey";
// "1": an administrator turned the protections off on purpose (untagged
// pushes and unverified modules are taken). Any other value, or none, keeps
// them on.
inline constexpr char kSecurityDowngradeName[] = "SecurityDowngrade";

// The stored text of `key`; empty when absent or unreadable.
std::string config_value(const char* key);
// True only when SecurityDowngrade is exactly "1".
bool security_downgraded();
