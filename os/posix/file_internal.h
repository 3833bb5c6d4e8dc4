// Shared by the POSIX file backend only: native paths, the stored Windows
// attributes and the emulation of Windows sharing modes.
#pragma once

#include <cstdint>
#include <string>

namespace os::posix {

// native_path (internal.h) turns "\" into "/".

// Hidden / system / archive bits kept in an extended attribute of the file.
constexpr const char kAttributesXattr[] = "user.quarn.attributes";
std::uint32_t stored_attributes(const std::string& path);
bool store_attributes(const std::string& path, std::uint32_t bits);

// Windows sharing between openers, emulated with open-file-description locks
// on bytes far past any real data (docs/files.md). `access` and `share` are
// kFileShare* style bits: read 1, write 2, delete 4.
enum : std::uint32_t { kAccessRead = 1, kAccessWrite = 2, kAccessDelete = 4 };
// True when an opener of `fd`'s file conflicts with opening it for `access`
// while sharing `share`.
bool sharing_conflicts(int fd, std::uint32_t access, std::uint32_t share);
// Announces this open's access and sharing to later openers; false when the
// file system refuses the locks (the open is then not seen by others).
bool sharing_announce(int fd, std::uint32_t access, std::uint32_t share);

}  // namespace os::posix
