// The assistant directory: the folder "Quarn" in the user's application-data
// folder, where every module, policy file, page and program of the product
// lives.
#pragma once

#include <cstddef>

inline constexpr std::size_t kPathSize = 260;

// Writes "%APPDATA%\Quarn\" (with "C:\" when APPDATA is not set, or so long
// that the folder would not fit kPathSize bytes whole), always ending in a
// backslash, into `directory` of kPathSize bytes. Returns 1; 0 when
// `directory` is null.
int GetAssistantDir(char* directory);

namespace gateway {
// "<assistant directory><file_name>" into `path` of kPathSize bytes. A path
// that does not fit whole is refused: traced, `path` left empty, false.
bool assistant_file_path(const char* file_name, char* path);
}  // namespace gateway
