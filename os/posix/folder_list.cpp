#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "os/file.h"
#include "os/posix/internal.h"

namespace os {

bool folder_list(const char* folder, FolderVisitor visit, void* context) {
    if (folder == nullptr || *folder == '\0') {
        posix::set_last_error_from_errno(ENOENT);
        return false;
    }
    const std::string path = posix::native_path(folder);
    DIR* listing = opendir(path.c_str());
    if (listing == nullptr) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(listing)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        struct stat status {};
        const bool known = lstat((path + "/" + name).c_str(), &status) == 0;
        visit(context, FolderEntry{name, known && S_ISDIR(status.st_mode),
                                   known && S_ISLNK(status.st_mode)});
        errno = 0;
    }
    const int ended = errno;
    closedir(listing);
    if (ended == 0) return true;
    posix::set_last_error_from_errno(ended);
    return false;
}

}  // namespace os
