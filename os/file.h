// Files and directories: the operations the file helpers need to replace a
// file that may be in use, plus plain reading and writing and the version
// resource of a module file. Paths are ANSI texts; "\" and "/" both separate
// (the POSIX backend turns "\" into "/"). Failures set the last error to a
// Win32 code (types.h). docs/files.md describes the POSIX equivalents.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/types.h"

namespace os {

// Attribute bits, the Win32 values.
enum : std::uint32_t {
    kFileAttributeReadOnly = 0x01,
    kFileAttributeHidden = 0x02,
    kFileAttributeSystem = 0x04,
    kFileAttributeDirectory = 0x10,
    kFileAttributeArchive = 0x20,
    kFileAttributeNormal = 0x80,
};
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Attributes of a file or directory; kInvalidFileAttributes on failure.
std::uint32_t file_attributes(const char* path);
// Sets read-only / hidden / system / archive (kFileAttributeNormal alone
// clears them all). The directory bit is ignored.
bool file_set_attributes(const char* path, std::uint32_t attributes);

// CopyFileA: copies contents and attributes. With `fail_if_exists` an
// existing destination is an error (80). A destination that is open without
// write sharing fails with 32, a read-only one with 5.
bool file_copy(const char* source, const char* destination, bool fail_if_exists);
// DeleteFileA: a read-only file fails with 5, a file open without delete
// sharing with 32, a missing one with 2.
bool file_delete(const char* path);
// MoveFileExA without flags: renames on one volume, never replaces an
// existing file (183). A file open without delete sharing fails with 32.
bool file_move(const char* from, const char* to);
// MoveFileExA(path, null, MOVEFILE_DELAY_UNTIL_REBOOT): the file is deleted
// at the next start of the machine.
bool file_schedule_delete_at_restart(const char* path);
// Deletes the files whose deletion was scheduled before the machine last
// started; returns how many were deleted. The system does this itself on
// Windows (returns 0); on POSIX the assistant calls it when it starts.
int file_run_pending_deletes();

// CreateDirectoryA with default security; an existing directory or file of
// that name fails with 183.
bool directory_create(const char* path);
bool directory_remove(const char* path);  // an empty directory
// SetCurrentDirectoryA: makes `path` the whole process's current directory
// (a module loaded later finds its own dependencies there).
bool directory_set_current(const char* path);

// One entry of a folder, as folder_list hands it over: its name (no path),
// whether it is a folder, and whether it is a link or junction (never
// followed: a walk that removes a tree removes the link, not its target).
struct FolderEntry {
    const char* name;
    bool is_folder;
    bool is_link;
};
using FolderVisitor = void (*)(void* context, const FolderEntry& entry);
// Calls `visit` for every entry of `folder` except "." and "..", in the
// order the system lists them; false with the last error set when the folder
// cannot be listed (3 or 2 when it is missing).
bool folder_list(const char* folder, FolderVisitor visit, void* context);

// Sharing granted to other openers while a file is open (Win32 FILE_SHARE_*).
enum : std::uint32_t {
    kFileShareNone = 0,
    kFileShareRead = 0x01,
    kFileShareWrite = 0x02,
    kFileShareDelete = 0x04,
};

// Opens an existing file for reading; null on failure (32 when an opener
// denies reading, or this open's sharing denies what an opener holds).
Handle file_open_read(const char* path, std::uint32_t share);
// The same for a plain file on a disk only: a pipe, FIFO, console, device
// or folder is refused (kErrorBadFileType, or 5 for a folder) without
// blocking, so that a reader never waits for a writer that may not come or
// reads a device that never ends.
Handle file_open_read_plain(const char* path, std::uint32_t share);
inline constexpr std::uint32_t kErrorBadFileType = 222;
// Creates or truncates a file for writing (CREATE_ALWAYS).
Handle file_create_write(const char* path, std::uint32_t share);
// The same for a file holding secrets: readable and writable by its owner
// only (POSIX: mode 0600, set before an existing file is emptied; Windows:
// the default security of the user's profile folders).
Handle file_create_write_owner_only(const char* path, std::uint32_t share);
// False on failure; *size receives the file's size in bytes.
bool file_size(Handle file, std::uint64_t* size);
// Reads up to `size` bytes; *done receives the count (0 at end of file).
bool file_read(Handle file, void* buffer, std::size_t size, std::size_t* done);
// Writes all `size` bytes or fails.
bool file_write(Handle file, const void* data, std::size_t size);
void file_close(Handle file);

// Version resource (GetFileVersionInfoSizeA / GetFileVersionInfoA /
// VerQueryValueA). The size is 0 when the file has no version information.
std::uint32_t file_version_info_size(const char* path);
bool file_version_info(const char* path, std::uint32_t size, void* block);
// Looks up `sub_block` ("\VarFileInfo\Translation",
// "\StringFileInfo\080404b0\FileVersion") inside a block read above; *value
// points into the block, *length counts its characters (texts) or bytes.
bool file_version_query(const void* block, const char* sub_block, const void** value,
                        std::uint32_t* length);
// The system's text-kind test (IsTextUnicode with the ASCII and statistics
// tests, plain and byte-reversed): true when the system judges `bytes` to be
// UTF-16 text. Byte-reversed text only raises the reverse flags and is not.
bool text_looks_utf16(const void* data, std::size_t bytes);

}  // namespace os
