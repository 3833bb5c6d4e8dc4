// The record of every exchange: one JSON object per line (UTF-8), written and
// flushed as the exchange ends, so that a test can wait for a line and read
// it whole. Lines carry "seq" (from 1) and "time" (UTC) before their fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "programs/simulator/xml_text.h"

namespace simulator {

class Recorder {
  public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts an empty record file at `path`; false when it cannot be created.
    bool open(const std::string& path);
    // Writes one line (nothing without a file). Texts in `fields` are UTF-8.
    void write(Json fields);

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::uint64_t sequence_ = 0;
};

// A GBK text of the wire as UTF-8 for the record and the admin page.
std::string utf8(const std::string& gbk);

}  // namespace simulator
