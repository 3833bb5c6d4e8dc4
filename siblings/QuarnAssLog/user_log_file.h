// The user log: lines that a person or an administrator reads, appended
// whole by every process of the user to one file in the assistant directory,
// kept to a few files of about a megabyte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "os/types.h"

namespace user_log {

inline constexpr char kTraceSource[] = "QuarnAssLog.cpp";
inline constexpr char kLogFileName[] = "TarnAssistant.log";
// The current file is rotated before it would grow past this size...
inline constexpr std::uint64_t kRotateBytes = 1u << 20;
// ...into "<log>.1" (the newest) up to "<log>.3"; the oldest is dropped.
inline constexpr int kKeptFiles = 3;
// A longer line is cut: one call never floods the log.
inline constexpr std::size_t kMaxLineBytes = 64u << 10;

class UserLogFile {
  public:
    // `folder` ends in a separator.
    explicit UserLogFile(const std::string& folder, std::uint64_t rotate_bytes = kRotateBytes);
    ~UserLogFile();
    UserLogFile(const UserLogFile&) = delete;
    UserLogFile& operator=(const UserLogFile&) = delete;

    // Appends the line with one write, adding the "\n" a line must end in
    // when it lacks one. False when nothing could be written.
    bool append(const char* line, std::size_t length);
    // Creates the folder (owner only).
    bool prepare();
    const std::string& path() const { return path_; }

  private:
    void rotate_locked();

    std::mutex mutex_;
    std::string folder_;
    std::string path_;
    std::uint64_t rotate_bytes_;
    os::Handle lock_ = nullptr;
    bool folder_ready_ = false;
};

// "<log>.<n>" for n of 1..kKeptFiles.
std::string rotated_path(const std::string& path, int n);

// The log of the current assistant directory, one object per directory.
UserLogFile& current_log();

}  // namespace user_log
