// QuarnAssConfigMgr.dll: the export surface over the configuration store.
// Nothing thrown inside ever reaches the caller.
#include <cstring>
#include <new>
#include <string>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "siblings/QuarnAssConfigMgr/config_listing.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"

using config_store::current_store;
using config_store::kTraceSource;

QUARN_EXPORT int QUARN_CDECL TarnReadConfig(const char* key, char** value) {
    if (key == nullptr || value == nullptr) return 0;
    try {
        std::string found;
        if (!current_store().read(key, &found)) return 0;
        char* block = static_cast<char*>(os::global_alloc(found.size() + 1));
        if (block == nullptr) {
            LogTrace("TarnReadConfig", kTraceError, kTraceSource, __LINE__, "内存不足: %s", key);
            return 0;
        }
        std::memcpy(block, found.data(), found.size());
        block[found.size()] = '\0';
        *value = block;
        return 1;
    } catch (const std::exception& error) {
        LogTrace("TarnReadConfig", kTraceError, kTraceSource, __LINE__, "发生异常: %s, %s", key,
                 error.what());
        return 0;
    }
}

QUARN_EXPORT int QUARN_CDECL TarnWriteConfig(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return 0;
    try {
        return current_store().write(key, value) ? 1 : 0;
    } catch (const std::exception& error) {
        LogTrace("TarnWriteConfig", kTraceError, kTraceSource, __LINE__, "发生异常: %s, %s", key,
                 error.what());
        return 0;
    }
}

QUARN_EXPORT int QUARN_CDECL TarnListConfig(char** listing) {
    if (listing == nullptr) return 0;
    try {
        config_store::Values values;
        if (!current_store().snapshot(&values)) return 0;
        const std::string text = config_store::encode_listing(values);
        char* block = static_cast<char*>(os::global_alloc(text.size() + 1));
        if (block == nullptr) return 0;
        std::memcpy(block, text.data(), text.size());
        block[text.size()] = '\0';
        *listing = block;
        return 1;
    } catch (const std::exception& error) {
        LogTrace("TarnListConfig", kTraceError, kTraceSource, __LINE__, "发生异常: %s",
                 error.what());
        return 0;
    }
}

// Called once at installation: the folder exists and the store opens.
QUARN_EXPORT int QUARN_CDECL Init(const char* /*argument*/, char** /*result*/) {
    try {
        return current_store().prepare() ? 0 : 1;
    } catch (const std::exception& error) {
        LogTrace("Init", kTraceError, kTraceSource, __LINE__, "发生异常: %s", error.what());
        return 1;
    }
}

static_assert(sizeof(sibling::TarnReadConfigFunction{&TarnReadConfig}) > 0);
static_assert(sizeof(sibling::TarnWriteConfigFunction{&TarnWriteConfig}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
static_assert(sizeof(config_store::ListConfigFunction{&TarnListConfig}) > 0);
