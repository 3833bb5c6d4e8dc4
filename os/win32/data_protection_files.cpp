// The protected files on Windows: MoveFileEx with replace and write-through
// for the atomic replace, FILE_APPEND_DATA for appends. The files live in the
// user's profile folders, whose default security already keeps other users
// out. A stamp comes from the attributes, without opening the file, so it
// never holds a file that a writer is about to replace.
#include <windows.h>

#include <string>

#include "os/data_protection.h"

namespace os {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A reader or a scanner may hold the old file for a moment.
constexpr int kReplaceAttempts = 20;

std::uint64_t join(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

bool write_all(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool transient(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

}  // namespace

bool file_stamp(const char* path, FileStamp* stamp) {
    if (path == nullptr || stamp == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *stamp = FileStamp{};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    stamp->exists = true;
    // Every replace creates the file anew, so its creation time tells the
    // versions apart where POSIX has the inode.
    stamp->id = join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime);
    stamp->size = join(data.nFileSizeHigh, data.nFileSizeLow);
    stamp->modified = join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool private_directory_create(const char* path) {
    if (path == nullptr || *path == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (CreateDirectoryA(path, nullptr)) return true;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool file_replace_durably(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string temporary = std::string(path) + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written =
        write_all(file, static_cast<const char*>(data), size) && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    bool moved = false;
    if (written) {
        for (int attempt = 0; attempt < kReplaceAttempts && !moved; ++attempt) {
            moved = MoveFileExA(temporary.c_str(), path,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            error = GetLastError();
            if (!moved && !transient(error)) break;
            if (!moved) Sleep(1);
        }
    }
    if (!moved) {
        DeleteFileA(temporary.c_str());
        SetLastError(error);
    }
    return moved;
}

bool file_append(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Append access only: the system puts every write at the end of the file.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(file, static_cast<const char*>(data), size);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!written) SetLastError(error);
    return written;
}

bool file_rename_replacing(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        if (!transient(GetLastError())) return false;
        Sleep(1);
    }
    return false;
}

bool file_hold(const char*, HeldFile* held, FileStamp* stamp) {
    held->descriptor = -1;
    *stamp = FileStamp{};
    return false;
}

void file_release(HeldFile* held) {
    held->descriptor = -1;
}

bool file_read_at(const char* path, std::uint64_t offset, void* buffer, std::size_t size,
                  std::size_t* done) {
    if (path == nullptr || done == nullptr || (buffer == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *done = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
    char* out = static_cast<char*>(buffer);
    while (ok && *done < size) {
        const std::size_t left = size - *done;
        DWORD got = 0;
        ok =
            ReadFile(file, out + *done, left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left),
                     &got, nullptr) != 0;
        if (!ok || got == 0) break;
        *done += got;
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) SetLastError(error);
    return ok;
}

bool file_read_all(const char* path, std::size_t limit, std::string* out) {
    if (path == nullptr || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    out->clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (out->size() + got > limit) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            ok = false;
            break;
        }
        out->append(chunk, got);
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        out->clear();
        SetLastError(error);
    }
    return ok;
}

}  // namespace os
