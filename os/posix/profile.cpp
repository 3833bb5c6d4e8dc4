// Profile files on POSIX: the format Windows writes (CR LF lines, "[Section]",
// "Key=Value"), read leniently (LF lines, blanks around names), rewritten
// whole into a temporary file that replaces the old one by rename, so that a
// reader never sees half a file.
#include "os/profile.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "os/error.h"
#include "os/posix/internal.h"
#include "os/types.h"

namespace os {
namespace {

using Lines = std::vector<std::string>;

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool same_name(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// The section name of a "[name]" line; false for any other line.
bool section_of(const std::string& line, std::string* name) {
    const std::string text = trimmed(line);
    if (text.empty() || text[0] != '[') return false;
    const std::size_t end = text.find(']');
    *name = trimmed(text.substr(1, end == std::string::npos ? std::string::npos : end - 1));
    return true;
}

bool key_of(const std::string& line, const char* key) {
    const std::size_t equals = line.find('=');
    return equals != std::string::npos && same_name(trimmed(line.substr(0, equals)), key);
}

bool read_lines(const std::string& path, Lines* lines) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    if (got < 0) return false;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = bytes.find('\n', begin);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(line);
        begin = end + 1;
    }
    return true;
}

bool write_lines(const std::string& path, const Lines& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
    }
    bool written = done == bytes.size() && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
    if (written) error = errno;
    unlink(temporary.c_str());
    errno = error;
    return false;
}

// Applies one write to `lines`; false when nothing changes.
bool apply(Lines* lines, const char* section, const char* key, const char* value) {
    std::size_t header = lines->size();
    std::size_t end = lines->size();
    std::string name;
    for (std::size_t at = 0; at < lines->size(); ++at) {
        if (!section_of((*lines)[at], &name)) continue;
        if (header != lines->size()) {
            end = at;
            break;
        }
        if (same_name(name, section)) header = at;
    }
    if (header == lines->size()) {
        if (key == nullptr || value == nullptr) return false;
        lines->push_back("[" + std::string(section) + "]");
        lines->push_back(std::string(key) + "=" + value);
        return true;
    }
    if (key == nullptr) {
        lines->erase(lines->begin() + static_cast<std::ptrdiff_t>(header),
                     lines->begin() + static_cast<std::ptrdiff_t>(end));
        return true;
    }
    for (std::size_t at = header + 1; at < end; ++at) {
        if (!key_of((*lines)[at], key)) continue;
        if (value == nullptr) {
            lines->erase(lines->begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            const std::string& line = (*lines)[at];
            (*lines)[at] = trimmed(line.substr(0, line.find('='))) + "=" + value;
        }
        return true;
    }
    if (value == nullptr) return false;
    // A new key goes after the section's last non-blank line.
    std::size_t after = end;
    while (after > header + 1 && trimmed((*lines)[after - 1]).empty()) --after;
    lines->insert(lines->begin() + static_cast<std::ptrdiff_t>(after),
                  std::string(key) + "=" + value);
    return true;
}

}  // namespace

bool profile_write_string(const char* path, const char* section, const char* key,
                          const char* value) {
    if (path == nullptr || section == nullptr || !profile_single_line(section) ||
        !profile_single_line(key) || !profile_single_line(value)) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const std::string native = posix::native_path(path);
    Lines lines;
    if (!read_lines(native, &lines) ||
        (apply(&lines, section, key, value) && !write_lines(native, lines))) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    return true;
}

}  // namespace os
