#include "interface/config_access.h"

#include <cstdio>
#include <cstdlib>

#include "cutil/trace.h"
#include "interface/cached_entry_points.h"
#include "interface/sibling_lookup.h"
#include "os/memory.h"

using gateway::kTraceSource;

int Call_TarnWriteConfig(const char* key, const char* value) {
    const auto write = gateway::cached_config_writer("Call_TarnWriteConfig");
    if (write == nullptr) return 0;
    const int stored = write(key, value);
    if (stored == 0) {
        LogTrace("Call_TarnWriteConfig", kTraceError, kTraceSource, __LINE__,
                 "写入配置失败: %s = %s", key != nullptr ? key : "", value != nullptr ? value : "");
    }
    return stored;
}

int Call_TarnReadConfig(const char* key, char** value) {
    const auto read = gateway::cached_config_reader("Call_TarnReadConfig");
    if (read == nullptr) return 0;
    const int found = read(key, value);
    if (found == 0) {
        LogTrace("Call_TarnReadConfig", kTraceError, kTraceSource, __LINE__, "读取配置失败: %s = ?",
                 key != nullptr ? key : "");
    }
    return found;
}

int ReadConfigText(const char* key, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    char* value = nullptr;
    const int found = Call_TarnReadConfig(key, &value);
    if (found == 0) return 0;
    // A module that reports success without a block leaves the preset.
    if (value != nullptr) {
        std::snprintf(buffer, size, "%s", value);
        os::global_free(value);
    }
    return found;
}

int WriteConfigInt(const char* key, int value) {
    char text[64];
    std::snprintf(text, sizeof text, "%d", value);
    return Call_TarnWriteConfig(key, text);
}

int ReadConfigInt(const char* key, int* value) {
    if (value == nullptr) return 0;
    char* text = nullptr;
    const int found = Call_TarnReadConfig(key, &text);
    if (found == 0) return 0;
    // A module that reports success without a block leaves the value as it was.
    if (text != nullptr) {
        *value = std::atoi(text);
        os::global_free(text);
    }
    return found;
}

int ReadConfigIntOr(const char* key, int fallback) {
    int value = fallback;
    ReadConfigInt(key, &value);
    return value;
}
