// Operating-system facts and settings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};
// GetVersionExA with the extended record, then the basic one; false when
// both fail. POSIX reports 6.1 (a Windows 7 equivalent), documented.
bool os_version(OsVersion* out);

// SetIpTTL of the IP helper library. POSIX never changes the host's real
// TTL: it reports failure so that callers take their fallback.
bool set_ip_ttl(unsigned ttl);

// Environment variable into a buffer; returns its length (0 when unset; a
// value that does not fit returns the size it needs, as GetEnvironmentVariableA).
std::size_t env_get(const char* name, char* out, std::size_t size);
bool env_set(const char* name, const char* value);  // null value unsets
// ExpandEnvironmentStringsA: "%NAME%" replaced; result length with terminator.
std::size_t env_expand(const char* text, char* out, std::size_t size);

// The Windows system directory; on POSIX the folder named by
// QUARN_SYSTEM_DIR, else "/usr/bin".
std::size_t system_directory(char* out, std::size_t size);

// The user's application-data folder as the system keeps it, whatever the
// environment says (Windows: the shell's CSIDL_APPDATA; POSIX: the XDG data
// folder, ~/.local/share). Returns the length; 0 when there is none or it
// does not fit.
std::size_t app_data_folder(char* out, std::size_t size);

// True for a path that names the same place from any working folder
// (Windows: "X:\..." or "\server\..."; POSIX: "/...").
bool path_is_absolute(const char* path);

}  // namespace os
