#include "interface/cached_entry_points.h"

#include <atomic>

#include "interface/sibling_lookup.h"

namespace gateway {
namespace {

std::atomic<sibling::TarnLogToFileFunction> g_log_writer{nullptr};
std::atomic<sibling::TarnReadConfigFunction> g_config_reader{nullptr};
std::atomic<sibling::TarnWriteConfigFunction> g_config_writer{nullptr};
std::atomic<sibling::TarnReadConfigFunction> g_host_reader{nullptr};
std::atomic<sibling::TarnWriteConfigFunction> g_host_writer{nullptr};

template <typename Function>
Function cached(std::atomic<Function>* cache, const char* wrapper, const char* module,
                const char* name) {
    Function f = cache->load(std::memory_order_acquire);
    if (f == nullptr) {
        f = find_loaded<Function>(wrapper, module, name);
        if (f != nullptr) cache->store(f, std::memory_order_release);
    }
    return f;
}

}  // namespace

sibling::TarnLogToFileFunction cached_log_writer() {
    return cached(&g_log_writer, "Call_TarnLogToFile", sibling::kLogDll,
                  sibling::kTarnLogToFileName);
}

sibling::TarnReadConfigFunction cached_config_reader(const char* wrapper) {
    const auto host = g_host_reader.load(std::memory_order_acquire);
    if (host != nullptr) return host;
    return cached(&g_config_reader, wrapper, sibling::kConfigMgrDll, sibling::kTarnReadConfigName);
}

sibling::TarnWriteConfigFunction cached_config_writer(const char* wrapper) {
    const auto host = g_host_writer.load(std::memory_order_acquire);
    if (host != nullptr) return host;
    return cached(&g_config_writer, wrapper, sibling::kConfigMgrDll, sibling::kTarnWriteConfigName);
}

void install_config_store(sibling::TarnReadConfigFunction reader,
                          sibling::TarnWriteConfigFunction writer) {
    g_host_reader.store(reader, std::memory_order_release);
    g_host_writer.store(writer, std::memory_order_release);
}

void forget_cached_entry_points() {
    g_log_writer.store(nullptr);
    g_config_reader.store(nullptr);
    g_config_writer.store(nullptr);
}

}  // namespace gateway
