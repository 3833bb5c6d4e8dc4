#include <windows.h>

#include <string>

#include "os/file.h"

namespace os {

bool folder_list(const char* folder, FolderVisitor visit, void* context) {
    if (folder == nullptr || *folder == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    std::string pattern = folder;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        const char* name = found.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        const DWORD attributes = found.dwFileAttributes;
        visit(context, FolderEntry{name, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(search, &found));
    const DWORD ended = GetLastError();
    FindClose(search);
    if (ended == ERROR_NO_MORE_FILES) return true;
    SetLastError(ended);
    return false;
}

}  // namespace os
