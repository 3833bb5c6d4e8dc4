// QuarnCommon.dll: GetDeviceInfo, reached through the module-call component.
#include <cstring>
#include <exception>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "siblings/QuarnCommon/device_info.h"

namespace {

constexpr char kFunction[] = "GetDeviceInfo";

enum : int { kDone = 0, kNoResultPointer = 1, kNoMemory = 8 };

int describe(const char* argument, char** result) {
    device_info::ServerAddress server;
    const bool has_server = device_info::parse_argument(argument, &server);
    if (!has_server) {
        // The description stands without the server; only the route mark is lost.
        LogTrace(kFunction, kTraceError, device_info::kTraceSource, __LINE__,
                 "参数中没有服务器地址: %s", argument != nullptr ? argument : "(null)");
    }
    const std::string text =
        device_info::reply_text(device_info::describe(has_server ? &server : nullptr));
    if (text.empty()) return kNoMemory;
    auto* block = static_cast<char*>(os::global_alloc(text.size() + 1));
    if (block == nullptr) return kNoMemory;
    std::memcpy(block, text.c_str(), text.size() + 1);
    *result = block;
    return kDone;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL GetDeviceInfo(const char* argument, char** result) {
    if (result == nullptr) return kNoResultPointer;
    *result = nullptr;
    try {
        return describe(argument, result);
    } catch (const std::exception&) {
        LogTrace(kFunction, kTraceError, device_info::kTraceSource, __LINE__, "内存不足");
        return kNoMemory;
    }
}

static_assert(sizeof(sibling::PluginFunction{&GetDeviceInfo}) > 0);
