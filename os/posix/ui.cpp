// Message boxes (a GTK dialog where a display is reachable, else the safe
// answer) and window lookup without a windowing system.
//
// Window registry: a program that "owns a window" records its title as a file
// in a per-user folder ($XDG_RUNTIME_DIR/quarn-windows, else
// /tmp/quarn-windows-<uid>, mode 0700): the file name is the hex-encoded title
// (a hash of it for long titles) plus "." and the owner's pid; the content is
// the owner's start time and the title itself. An entry of a process that
// ended (or whose pid was reused) is recognised and removed by the next lookup.
#include "os/ui.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/posix/message_dialog.h"
#include "os/seams.h"
#include "os/text.h"

namespace os {
namespace {

constexpr unsigned kTypeMask = 0xF;
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdNo = 7 };

std::string registry_folder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = runtime != nullptr && *runtime == '/'
                             ? std::string(runtime) + "/quarn-windows"
                             : "/tmp/quarn-windows-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        return std::string();  // not ours: never trusted
    }
    return folder;
}

std::string encode_title(const char* title) {
    std::string encoded;
    char hex[3];
    for (const char* p = title; *p != '\0'; ++p) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*p));
        encoded += hex;
    }
    if (encoded.size() <= 200) return encoded;
    // Too long for a file name: a hash (the entry holds the title itself).
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char* p = title; *p != '\0'; ++p) {
        hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ULL;
    }
    char hashed[24];
    std::snprintf(hashed, sizeof hashed, "h%016llx", static_cast<unsigned long long>(hash));
    return hashed;
}

std::string entry_path(const std::string& folder, const char* title, std::uint32_t pid) {
    return folder + "/" + encode_title(title) + "." + std::to_string(pid);
}

}  // namespace

int message_box(const char* text, const char* caption, unsigned flags) {
    if (seams::MessageBoxAnswer answer = seams::message_box_answer()) {
        return answer(text, caption, flags);
    }
    const std::string shown_caption =
        caption != nullptr ? gbk_to_utf8(caption, std::strlen(caption)) : "";
    const std::string shown_text = text != nullptr ? gbk_to_utf8(text, std::strlen(text)) : "";
    int answer = 0;
    if (posix::message_dialog(shown_text, shown_caption, flags, &answer)) return answer;
    // No one to ask: show the question on stderr and take the safe answer,
    // the one that does nothing (Cancel, No, Abort; OK for a plain notice).
    std::fprintf(stderr, "[%s] %s\n", shown_caption.c_str(), shown_text.c_str());
    switch (flags & kTypeMask) {
        case 0:
            return kIdOk;  // MB_OK
        case 2:
            return kIdAbort;  // MB_ABORTRETRYIGNORE
        case 4:
            return kIdNo;  // MB_YESNO
        default:
            return kIdCancel;  // OKCANCEL, YESNOCANCEL, RETRYCANCEL, CANCELTRYCONTINUE
    }
}

std::uint32_t window_find_process(const char* title, bool* window_found) {
    if (window_found != nullptr) *window_found = false;
    if (title == nullptr) return 0;
    const std::string folder = registry_folder();
    if (folder.empty()) return 0;
    const std::string prefix = encode_title(title) + ".";
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) return 0;
    std::uint32_t found = 0;
    while (dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto pid = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
        std::uint64_t recorded = 0;
        std::string recorded_title;
        {
            std::ifstream file(folder + "/" + name);
            file >> recorded;
            file.get();
            std::getline(file, recorded_title, '\0');
        }
        const std::uint64_t now = posix::process_start_time(static_cast<int>(pid));
        if (now == 0 || now != recorded) {
            unlink((folder + "/" + name).c_str());  // its owner ended
            continue;
        }
        if (recorded_title != title) continue;  // another title of the same hash
        found = pid;
        break;
    }
    closedir(directory);
    // A registered title always names its live owner.
    if (window_found != nullptr) *window_found = found != 0;
    return found;
}

bool window_register_title(const char* title) {
    if (title == nullptr) return false;
    const std::string folder = registry_folder();
    if (folder.empty()) {
        set_last_error(kErrorAccessDenied);
        return false;
    }
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    const std::string path = entry_path(folder, title, pid);
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << posix::process_start_time(static_cast<int>(pid)) << '\n' << title;
        if (!file) {
            set_last_error(kErrorAccessDenied);
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void window_unregister_title(const char* title) {
    if (title == nullptr) return;
    const std::string folder = registry_folder();
    if (folder.empty()) return;
    unlink(entry_path(folder, title, static_cast<std::uint32_t>(getpid())).c_str());
}

}  // namespace os
