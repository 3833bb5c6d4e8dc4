#include "programs/simulator/recorder.h"

#include "os/text.h"
#include "os/time.h"

namespace simulator {

Recorder::~Recorder() {
    if (file_ != nullptr) std::fclose(file_);
}

bool Recorder::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

void Recorder::write(Json fields) {
    const os::DateTime now = os::utc_time();
    char time[32];
    std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond);
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    Json line = {{"seq", ++sequence_}, {"time", time}};
    line.update(fields);
    // A text that is not UTF-8 after all is written with replacement marks
    // rather than losing the line.
    const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

std::string utf8(const std::string& gbk) {
    return os::gbk_to_utf8(gbk.data(), gbk.size());
}

}  // namespace simulator
