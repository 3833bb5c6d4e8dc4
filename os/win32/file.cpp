#include "os/file.h"

#include <windows.h>

#include <string>

namespace os {
namespace {

HANDLE native(Handle file) {
    return static_cast<HANDLE>(file);
}

Handle wrap(HANDLE file) {
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool same_text(const std::string& a, const char* b) {
    return lstrcmpiA(a.c_str(), b) == 0;
}

// A path the system takes for a device rather than a file: the device
// namespace ("\\.\pipe\x", "\\.\CON") and, in any folder and with any
// extension, the reserved names (CON, NUL, COM1, CONIN$, ...). Opening a
// pipe would connect to its server; reading the console waits for a key.
bool names_device(const char* path) {
    std::string text(path);
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    if (text.rfind("\\\\.\\", 0) == 0) return true;
    if (text.rfind("\\\\?\\", 0) == 0) {
        const std::string rest = text.substr(4);
        const bool drive = rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\';
        if (!drive && !(rest.size() >= 4 && same_text(rest.substr(0, 4), "UNC\\"))) return true;
    }
    const std::size_t slash = text.find_last_of('\\');
    std::string name = text.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);  // "C:CON"
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (const char* reserved : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (same_text(name, reserved)) return true;
    }
    return name.size() == 4 &&
           (same_text(name.substr(0, 3), "COM") || same_text(name.substr(0, 3), "LPT")) &&
           name[3] >= '1' && name[3] <= '9';
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

Handle file_open_read_plain(const char* path, std::uint32_t share) {
    if (names_device(path)) {
        SetLastError(ERROR_BAD_FILE_TYPE);
        return nullptr;
    }
    const HANDLE file = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_BAD_FILE_TYPE);
        return nullptr;
    }
    return file;
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
