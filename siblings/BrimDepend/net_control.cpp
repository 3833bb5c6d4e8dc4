#include "siblings/BrimDepend/net_control.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cutil/trace.h"
#include "os/file.h"
#include "os/module.h"
#include "os/mutex.h"
#include "os/time.h"

namespace brim_net {
namespace {

constexpr char kSource[] = "BrimDepend.cpp";
constexpr std::size_t kMaxStateSize = 64 * 1024;

std::string time_text(int year, int month, int day, int hour, int minute, int second) {
    // Room for any int in each field: the compiler checks the worst case.
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return text;
}

// `minutes` after now, through the C library's calendar arithmetic.
std::string minutes_from_now(int minutes) {
    const os::DateTime now = os::local_time();
    std::tm moment{};
    moment.tm_year = now.year - 1900;
    moment.tm_mon = now.month - 1;
    moment.tm_mday = now.day;
    moment.tm_hour = now.hour;
    moment.tm_min = now.minute + minutes;
    moment.tm_sec = now.second;
    moment.tm_isdst = -1;
    if (std::mktime(&moment) == static_cast<std::time_t>(-1)) return "";
    return time_text(moment.tm_year + 1900, moment.tm_mon + 1, moment.tm_mday, moment.tm_hour,
                     moment.tm_min, moment.tm_sec);
}

// A value must stay on its line of the state file.
bool one_line(const char* text) {
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at == '\r' || *at == '\n') return false;
    }
    return true;
}

bool read_text(const char* path, std::string* text, bool* missing) {
    *missing = false;
    os::Handle file = os::file_open_read(path, os::kFileShareRead);
    if (file == nullptr) {
        *missing = os::file_attributes(path) == os::kInvalidFileAttributes;
        return false;
    }
    std::uint64_t size = 0;
    bool read = os::file_size(file, &size) && size <= kMaxStateSize;
    if (read) {
        text->resize(static_cast<std::size_t>(size));
        std::size_t total = 0;
        while (read && total < text->size()) {
            std::size_t done = 0;
            read = os::file_read(file, &(*text)[total], text->size() - total, &done) && done != 0;
            total += done;
        }
    }
    os::file_close(file);
    return read;
}

bool write_text(const char* path, const std::string& text) {
    os::Handle file = os::file_create_write(path, os::kFileShareNone);
    if (file == nullptr) return false;
    const bool written = os::file_write(file, text.data(), text.size());
    os::file_close(file);
    return written;
}

// Reads, changes and writes the state file under the state's mutex.
template <typename Change>
int change_state(const char* function, const char* path, Change change) {
    os::NamedMutexLock lock(kLockName);
    State state;
    if (!load(path, &state)) {
        LogTrace(function, kTraceError, kSource, __LINE__, "读取状态文件%s失败", path);
        return 0;
    }
    change(state);
    if (!save(path, state)) {
        LogTrace(function, kTraceError, kSource, __LINE__, "写入状态文件%s失败", path);
        return 0;
    }
    return 1;
}

}  // namespace

bool load(const char* path, State* out) {
    *out = State{};
    std::string text;
    bool missing = false;
    if (!read_text(path, &text, &missing)) return missing;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        const int number = std::atoi(value.c_str());
        if (key == "CutWay") out->cut_way = value, out->has_options = true;
        if (key == "ExceptIP") out->except_ip = value, out->has_options = true;
        if (key == "RestoreTime") out->restore_time = number;
        if (key == "OptionTime") out->option_time = value;
        if (key == "Cut") out->cut = number != 0, out->has_cut = true;
        if (key == "CutRestoreTime") out->cut_restore_time = number;
        if (key == "CutTime") out->cut_time = value;
        if (key == "RestoreAt") out->restore_at = value;
        if (key == "RestoredTime") out->restored_time = value;
    }
    return true;
}

bool save(const char* path, const State& state) {
    std::string text;
    const auto line = [&text](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += value;
        text += "\r\n";
    };
    if (state.has_options) {
        line("CutWay", state.cut_way);
        line("ExceptIP", state.except_ip);
        line("RestoreTime", std::to_string(state.restore_time));
        line("OptionTime", state.option_time);
    }
    if (state.has_cut) {
        line("Cut", state.cut ? "1" : "0");
        line("CutRestoreTime", std::to_string(state.cut_restore_time));
        line("CutTime", state.cut_time);
        line("RestoreAt", state.restore_at);
        line("RestoredTime", state.restored_time);
    }
    // Written beside the old file and renamed into place; readers and writers
    // hold the state's mutex, so none sees the file missing in between.
    const std::string next = std::string(path) + ".new";
    if (!write_text(next.c_str(), text)) {
        os::file_delete(next.c_str());
        return false;
    }
    os::file_delete(path);
    return os::file_move(next.c_str(), path);
}

int set_cut_net_option(const char* path, const char* cut_way, const char* except_ip,
                       int restore_time) {
    constexpr char kFunction[] = "SetCutNetOption";
    if (path == nullptr || path[0] == '\0') return 0;
    if (cut_way == nullptr || except_ip == nullptr || !one_line(cut_way) || !one_line(except_ip)) {
        LogTrace(kFunction, kTraceError, kSource, __LINE__, "%s", "断网选项无效，没有保存");
        return 0;
    }
    LogTrace(kFunction, kTraceInfo, kSource, __LINE__, "断网选项: %s, 例外IP: %s, 恢复时间: %d",
             cut_way, except_ip, restore_time);
    return change_state(kFunction, path, [&](State& state) {
        state.has_options = true;
        state.cut_way = cut_way;
        state.except_ip = except_ip;
        state.restore_time = restore_time;
        state.option_time = now_text();
    });
}

int cutoff_network(const char* path, int cut, int restore_time) {
    constexpr char kFunction[] = "CutoffNetwork";
    if (path == nullptr || path[0] == '\0') return 0;
    LogTrace(kFunction, kTraceInfo, kSource, __LINE__,
             cut != 0 ? "断开网络，%d分钟后恢复" : "恢复网络", restore_time);
    return change_state(kFunction, path, [&](State& state) {
        state.has_cut = true;
        state.cut = cut != 0;
        if (state.cut) {
            state.cut_restore_time = restore_time;
            state.cut_time = now_text();
            state.restore_at = restore_time > 0 ? minutes_from_now(restore_time) : "";
            state.restored_time.clear();
        } else {
            state.restored_time = now_text();
        }
    });
}

bool cut_now(const State& state, const std::string& now) {
    if (!state.has_cut || !state.cut) return false;
    // Time texts of one fixed form compare as the times they stand for.
    return state.restore_at.empty() || now < state.restore_at;
}

std::string now_text() {
    const os::DateTime now = os::local_time();
    return time_text(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

std::string module_state_path() {
    char path[260] = "";
    const std::size_t length = os::module_path_of_address(
        reinterpret_cast<const void*>(&module_state_path), path, sizeof path);
    if (length == 0 || length >= sizeof path) return "";
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    folder.erase(slash == std::string::npos ? 0 : slash + 1);
    return folder + kStateFile;
}

}  // namespace brim_net
