#include "siblings/QuarnAssCommunicate/listen_state.h"

#include <cstdio>

#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "os/file.h"
#include "os/process.h"
#include "os/time.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr char kFunction[] = "ListenPort";

std::string now_text() {
    const os::DateTime now = os::local_time();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

}  // namespace

std::uint32_t next_rebind_wait(std::uint32_t waited_ms) {
    if (waited_ms < kFirstRebindMs) return kFirstRebindMs;
    return waited_ms >= kLastRebindMs / 2 ? kLastRebindMs : waited_ms * 2;
}

void ListenState::bound(std::uint16_t port) {
    std::lock_guard<std::mutex> guard(lock_);
    if (refused_) {
        LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "%s %u 已重新打开 (重试 %u 次)",
                 what_, port, tries_);
    }
    port_ = port;
    listening_ = true;
    refused_ = false;
    tries_ = 0;
}

void ListenState::refused(std::uint16_t port, std::uint32_t error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!refused_) {
        // A squatter may hold it: the port is tried again until it is ours.
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__,
                 "%s %u 被其它程序占用, 稍后重试 Error=%u", what_, port,
                 static_cast<unsigned>(error));
        since_ = now_text();
    }
    port_ = port;
    listening_ = false;
    refused_ = true;
    error_ = error;
    ++tries_;
}

void ListenState::closed() {
    std::lock_guard<std::mutex> guard(lock_);
    listening_ = false;
    refused_ = false;
    port_ = 0;
    tries_ = 0;
}

std::uint16_t ListenState::bound_port() const {
    std::lock_guard<std::mutex> guard(lock_);
    return listening_ ? port_ : 0;
}

std::string ListenState::line() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::string text = std::string(key_) + "=";
    if (listening_) return text + "listening " + std::to_string(port_);
    if (!refused_) return text + "closed";
    return text + "held " + std::to_string(port_) + " since " + since_ + ", " +
           std::to_string(tries_) + " tries, error " + std::to_string(error_);
}

void write_status(const ListenState& push, const ListenState& local) {
    static std::mutex writing;
    const std::lock_guard<std::mutex> guard(writing);
    char path[kPathSize];
    if (!gateway::assistant_file_path(kStatusFileName, path)) return;
    const std::string text =
        "pid=" + std::to_string(os::process_id()) + "\n" + push.line() + "\n" + local.line() + "\n";
    const os::Handle file = os::file_create_write_owner_only(path, os::kFileShareRead);
    if (file == nullptr) return;
    os::file_write(file, text.data(), text.size());
    os::file_close(file);
}

void remove_status() {
    char path[kPathSize];
    if (gateway::assistant_file_path(kStatusFileName, path)) os::file_delete(path);
}

}  // namespace communicate
