#include "os/file.h"

#include <windows.h>

namespace os {
namespace {

HANDLE native(Handle file) {
    return static_cast<HANDLE>(file);
}

Handle wrap(HANDLE file) {
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace

std::uint32_t file_attributes(const char* path) {
    return GetFileAttributesA(path);
}

bool file_set_attributes(const char* path, std::uint32_t attributes) {
    attributes &= ~static_cast<std::uint32_t>(kFileAttributeDirectory);
    if (attributes == 0) attributes = kFileAttributeNormal;
    return SetFileAttributesA(path, attributes) != 0;
}

bool file_copy(const char* source, const char* destination, bool fail_if_exists) {
    return CopyFileA(source, destination, fail_if_exists ? TRUE : FALSE) != 0;
}

bool file_delete(const char* path) {
    return DeleteFileA(path) != 0;
}

bool file_move(const char* from, const char* to) {
    return MoveFileExA(from, to, 0) != 0;
}

bool file_schedule_delete_at_restart(const char* path) {
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// The session manager deletes the scheduled files itself at boot.
int file_run_pending_deletes() {
    return 0;
}

bool directory_create(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

bool directory_remove(const char* path) {
    return RemoveDirectoryA(path) != 0;
}

Handle file_open_read(const char* path, std::uint32_t share) {
    return wrap(CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

Handle file_create_write(const char* path, std::uint32_t share) {
    return wrap(CreateFileA(path, GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The default security: the files it is used for lie in the user's own
// profile, which only the user (and administrators) may read.
Handle file_create_write_owner_only(const char* path, std::uint32_t share) {
    return file_create_write(path, share);
}

bool file_size(Handle file, std::uint64_t* size) {
    LARGE_INTEGER value;
    if (GetFileSizeEx(native(file), &value) == 0) return false;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

bool file_read(Handle file, void* buffer, std::size_t size, std::size_t* done) {
    *done = 0;
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD read = 0;
    if (ReadFile(native(file), buffer, chunk, &read, nullptr) == 0) return false;
    *done = read;
    return true;
}

bool file_write(Handle file, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (WriteFile(native(file), bytes, chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

void file_close(Handle file) {
    if (file != nullptr) CloseHandle(native(file));
}

}  // namespace os
