// The atomic file store on Windows: a temporary file beside the target,
// flushed, then MoveFileEx with MOVEFILE_REPLACE_EXISTING. A target that is
// in use (a loaded module) fails with a sharing violation and stays as it was.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "os/http.h"

namespace os {

bool file_store_atomically(const char* path, const void* data, std::size_t size) {
    static std::atomic<unsigned> counter{0};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lu-%u.part", GetCurrentProcessId(),
                  counter.fetch_add(1));
    const std::string temporary = std::string(path) + suffix;
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const DWORD chunk =
            size - done > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size - done);
        DWORD written = 0;
        ok = WriteFile(file, bytes + done, chunk, &written, nullptr) != FALSE && written == chunk;
        done += written;
    }
    ok = ok && FlushFileBuffers(file) != FALSE;
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (ok &&
        !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
        SetLastError(error);
    }
    return ok;
}

}  // namespace os
