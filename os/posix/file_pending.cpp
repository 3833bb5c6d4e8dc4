// Delete at restart. Windows keeps a pending list that the system works off
// when it boots; here the list is a text file in the user's state folder,
// one "<boot id> <absolute path>" line per file. file_run_pending_deletes
// (called by the assistant when it starts) deletes the files scheduled
// during an earlier boot of the machine and keeps the rest.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/error.h"
#include "os/file.h"
#include "os/posix/file_internal.h"
#include "os/posix/internal.h"

namespace os {
namespace {

// QUARN_STATE_DIR, else $XDG_STATE_HOME/quarn, else ~/.local/state/quarn;
// empty when the user has no home folder.
std::string state_folder() {
    if (const char* dir = std::getenv("QUARN_STATE_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* dir = std::getenv("XDG_STATE_HOME"); dir != nullptr && *dir == '/') {
        return std::string(dir) + "/quarn";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const struct passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || *home != '/') return {};
    return std::string(home) + "/.local/state/quarn";
}

bool make_folders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || folder[at] == '/') {
            const std::string prefix = folder.substr(0, at);
            if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

std::string boot_id() {
    std::string id = "unknown";
    if (FILE* file = std::fopen("/proc/sys/kernel/random/boot_id", "r")) {
        char text[64] = {};
        if (std::fgets(text, sizeof text, file) != nullptr) {
            id = text;
            while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        }
        std::fclose(file);
    }
    return id;
}

// The list file, opened and locked against other processes.
int open_list(int flags) {
    const std::string folder = state_folder();
    if (folder.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (!make_folders(folder)) return -1;
    const std::string list = folder + "/pending_deletes";
    const int fd = open(list.c_str(), flags | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

}  // namespace

bool file_schedule_delete_at_restart(const char* path) {
    const std::string native = posix::native_path(path);
    char absolute[PATH_MAX];
    if (realpath(native.c_str(), absolute) == nullptr) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const std::string line = boot_id() + " " + absolute + "\n";
    const int fd = open_list(O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const int error = errno;
    close(fd);
    if (!written) posix::set_last_error_from_errno(error);
    return written;
}

int file_run_pending_deletes() {
    const int fd = open_list(O_RDWR | O_CREAT);
    if (fd < 0) return 0;
    const std::string current = boot_id();
    const std::string text = read_all(fd);
    std::string kept;
    int deleted = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        if (line.compare(0, blank, current) == 0) {
            kept += line + "\n";
            continue;
        }
        const std::string path = line.substr(blank + 1);
        if (unlink(path.c_str()) == 0) ++deleted;
    }
    if (ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0 && !kept.empty()) {
        // A short write only forgets entries of this boot: their files stay
        // beside the originals, hidden, as after a failed delete.
        [[maybe_unused]] const ssize_t put = write(fd, kept.data(), kept.size());
    }
    close(fd);
    return deleted;
}

}  // namespace os
