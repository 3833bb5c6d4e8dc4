#include "siblings/QuarnAssLog/user_log_file.h"

#include <map>
#include <memory>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "os/data_protection.h"
#include "os/error.h"
#include "os/file.h"
#include "os/mutex.h"

namespace user_log {
namespace {}  // namespace

std::string rotated_path(const std::string& path, int n) {
    return path + "." + std::to_string(n);
}

UserLogFile::UserLogFile(const std::string& folder, std::uint64_t rotate_bytes)
    : folder_(folder),
      path_(folder + kLogFileName),
      rotate_bytes_(rotate_bytes),
      lock_(os::mutex_open(os::mutex_name_for_path("QuarnAssLog.", path_).c_str())) {}

UserLogFile::~UserLogFile() {
    os::mutex_close(lock_);
}

void UserLogFile::rotate_locked() {
    os::file_delete(rotated_path(path_, kKeptFiles).c_str());
    for (int n = kKeptFiles - 1; n >= 1; --n) {
        os::file_rename_replacing(rotated_path(path_, n).c_str(),
                                  rotated_path(path_, n + 1).c_str());
    }
    if (!os::file_rename_replacing(path_.c_str(), rotated_path(path_, 1).c_str())) {
        // The line still goes to the current file, which then runs over.
        LogTrace("TarnLogToFile", kTraceError, kTraceSource, __LINE__, "日志轮转失败: %s, %u",
                 path_.c_str(), static_cast<unsigned>(os::last_error()));
    }
}

bool UserLogFile::append(const char* line, std::size_t length) {
    if (line == nullptr) return false;
    if (length > kMaxLineBytes) length = kMaxLineBytes;
    std::string whole(line, length);
    if (!whole.empty() && whole.back() == '\n') whole.pop_back();
    if (!whole.empty() && whole.back() == '\r') whole.pop_back();
    // One call, one line: a line break inside server text must not start a
    // line of its own that reads like another, back-dated entry.
    for (char& c : whole) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    whole += '\n';

    std::lock_guard<std::mutex> guard(mutex_);
    const bool held = lock_ != nullptr && os::mutex_lock(lock_);
    if (!folder_ready_) folder_ready_ = os::private_directory_create(folder_.c_str());
    os::FileStamp stamp;
    // Rotation renames files another process may be appending to: only the
    // holder of the lock does it.
    if (held && os::file_stamp(path_.c_str(), &stamp) && stamp.exists && stamp.size > 0 &&
        stamp.size + whole.size() > rotate_bytes_) {
        rotate_locked();
    }
    const bool written = os::file_append(path_.c_str(), whole.data(), whole.size());
    const std::uint32_t error = os::last_error();
    if (held) os::mutex_unlock(lock_);
    if (!written) {
        LogTrace("TarnLogToFile", kTraceError, kTraceSource, __LINE__, "写日志失败: %s, %u",
                 path_.c_str(), static_cast<unsigned>(error));
    }
    return written;
}

bool UserLogFile::prepare() {
    std::lock_guard<std::mutex> guard(mutex_);
    folder_ready_ = os::private_directory_create(folder_.c_str());
    if (!folder_ready_) {
        LogTrace("Init", kTraceError, kTraceSource, __LINE__, "创建目录失败: %s, %u",
                 folder_.c_str(), static_cast<unsigned>(os::last_error()));
    }
    return folder_ready_;
}

UserLogFile& current_log() {
    static std::mutex registry_lock;
    static std::map<std::string, std::unique_ptr<UserLogFile>> logs;
    char folder[kPathSize] = "";
    GetAssistantDir(folder);
    std::lock_guard<std::mutex> guard(registry_lock);
    auto& log = logs[folder];
    if (!log) log = std::make_unique<UserLogFile>(folder);
    return *log;
}

}  // namespace user_log
