// The user's session on POSIX: XDG autostart entries and desktop files, ends
// other copies of a program with SIGTERM, and takes SIGTERM / SIGINT /
// SIGHUP through sigwait.
#include "os/session.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/text.h"

namespace os {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string home_folder() {
    std::string home = environment("HOME");
    if (home.empty()) {
        const passwd* entry = getpwuid(getuid());
        if (entry != nullptr && entry->pw_dir != nullptr) home = entry->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

// An absolute XDG folder from the environment, else `fallback` under home.
std::string xdg_folder(const char* variable, const char* fallback) {
    const std::string value = environment(variable);
    return !value.empty() && value[0] == '/' ? value : home_folder() + "/" + fallback;
}

// XDG_DESKTOP_DIR of the user-dirs file ("$HOME/Desktop" form), else ~/Desktop.
std::string desktop_folder() {
    std::ifstream dirs(xdg_folder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        static constexpr char kKey[] = "XDG_DESKTOP_DIR=\"";
        if (line.compare(0, sizeof kKey - 1, kKey) != 0 || line.back() != '"') continue;
        std::string value = line.substr(sizeof kKey - 1, line.size() - sizeof kKey);
        if (value.compare(0, 5, "$HOME") == 0) value = home_folder() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return home_folder() + "/Desktop";
}

bool make_folders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// The file holds exactly `text` with `mode` already: the assistant
// registers its autostart at every start, which then costs a read, not a
// write flushed to disk.
bool holds_already(const std::string& path, const std::string& text, mode_t mode) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        (info.st_mode & 07777) != mode || static_cast<std::size_t>(info.st_size) != text.size()) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream found;
    found << in.rdbuf();
    return in.good() && found.str() == text;
}

// Writes `text` to a temporary file beside `path`, then renames it over.
bool write_whole(const std::string& path, const std::string& text, mode_t mode) {
    if (holds_already(path, text, mode)) return true;
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!make_folders(folder)) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
    }
    const bool written = done == text.size() && fsync(fd) == 0;
    const int error = errno;
    close(fd);
    if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
    posix::set_last_error_from_errno(written ? errno : error);
    unlink(temporary.c_str());
    return false;
}

bool remove_file(const std::string& path) {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    posix::set_last_error_from_errno(errno);
    return false;
}

// One argument of an Exec line: quoted when it holds anything but plain
// characters, with '"', '`', '$' and '\' escaped inside the quotes; then
// every '\' doubled once more, as a desktop file's string values escape it.
std::string exec_argument(const std::string& argument) {
    const bool plain = !argument.empty() &&
                       argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`%=") == std::string::npos;
    std::string quoted;
    if (plain) {
        quoted = argument;
    } else {
        quoted = "\"";
        for (const char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// "Exec=" value: the program, then the blank-separated arguments as given.
std::string exec_line(const char* program_path, const char* arguments) {
    std::string line = exec_argument(posix::native_path(program_path));
    std::istringstream words(arguments != nullptr ? arguments : "");
    std::string word;
    while (words >> word) line += " " + exec_argument(word);
    return line;
}

std::string desktop_entry(const std::string& name, const char* program_path, const char* arguments,
                          const char* icon_path, bool autostart) {
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + name +
                       "\nExec=" + exec_line(program_path, arguments) + "\nTerminal=false\n";
    if (icon_path != nullptr && *icon_path != '\0')
        text += "Icon=" + posix::native_path(icon_path) + "\n";
    if (autostart) text += "X-GNOME-Autostart-enabled=true\n";
    return text;
}

// A GBK name as the UTF-8 a file name and a desktop file want; '/' and
// control characters become '_'.
std::string file_name_of(const char* name) {
    std::string text = gbk_to_utf8(name, std::strlen(name));
    for (char& c : text) {
        if (c == '/' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
    }
    return text;
}

std::string autostart_path(const char* name) {
    return xdg_folder("XDG_CONFIG_HOME", ".config") + "/autostart/" + file_name_of(name) +
           ".desktop";
}

bool usable(const char* name) {
    if (name != nullptr && *name != '\0' && std::strcmp(name, ".") != 0 &&
        std::strcmp(name, "..") != 0)
        return true;
    set_last_error(kErrorInvalidParameter);
    return false;
}

}  // namespace

bool autostart_register(const char* name, const char* program_path, const char* arguments) {
    if (!usable(name) || program_path == nullptr) return false;
    return write_whole(autostart_path(name),
                       desktop_entry(file_name_of(name), program_path, arguments, nullptr, true),
                       0644);
}

bool autostart_remove(const char* name) {
    return usable(name) && remove_file(autostart_path(name));
}

std::string autostart_command(const char* name) {
    if (!usable(name)) return {};
    std::ifstream entry(autostart_path(name));
    std::string line;
    while (std::getline(entry, line)) {
        if (line.compare(0, 5, "Exec=") == 0) return line.substr(5);
    }
    return {};
}

bool desktop_link_create(const char* name, const char* program_path, const char* arguments,
                         const char* icon_path) {
    if (!usable(name) || program_path == nullptr) return false;
    // Launchers want the file executable before they trust it.
    return write_whole(desktop_link_path(name),
                       desktop_entry(file_name_of(name), program_path, arguments, icon_path, false),
                       0755);
}

bool desktop_link_remove(const char* name) {
    return usable(name) && remove_file(desktop_link_path(name));
}

std::string desktop_link_path(const char* name) {
    return desktop_folder() + "/" + file_name_of(name != nullptr ? name : "") + ".desktop";
}

int process_end_others(const char* exe_name) {
    if (exe_name == nullptr || *exe_name == '\0') return 0;
    const pid_t self = getpid();
    int ended = 0;
    posix::for_each_process([&](const char* pid_text) {
        const pid_t pid = static_cast<pid_t>(std::atol(pid_text));
        const std::string name = posix::process_file_name(pid_text);
        if (pid != self && !name.empty() && strcasecmp(name.c_str(), exe_name) == 0 &&
            kill(pid, SIGTERM) == 0) {
            ++ended;
        }
        return true;
    });
    return ended;
}

namespace {

sigset_t termination_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

}  // namespace

bool folder_remove_all(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    std::error_code error;
    std::filesystem::remove_all(posix::native_path(path), error);
    if (!error) return true;
    posix::set_last_error_from_errno(error.value());
    return false;
}

void termination_hold() {
    const sigset_t signals = termination_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int termination_wait() {
    const sigset_t signals = termination_signals();
    int signal_number = 0;
    while (sigwait(&signals, &signal_number) != 0) {
    }
    return signal_number;
}

}  // namespace os
