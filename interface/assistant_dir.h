// The assistant directory: the folder "Quarn" in the user's application-data
// folder, where every module, policy file, page and program of the product
// lives.
#pragma once

#include <cstddef>

inline constexpr std::size_t kPathSize = 260;

// Writes "%APPDATA%\Quarn\" (with "C:\" when APPDATA is not set), always
// ending in a backslash, into `directory` of kPathSize bytes. Returns 1; 0
// when `directory` is null.
int GetAssistantDir(char* directory);

namespace gateway {
// "<assistant directory><file_name>" into `path` of kPathSize bytes, cut to
// fit as the "%s%s" of a 260-byte buffer would be.
void assistant_file_path(const char* file_name, char* path);
}  // namespace gateway
