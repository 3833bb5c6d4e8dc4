// QuarnAssLog.dll: the export surface over the user log. Nothing thrown
// inside ever reaches the caller.
#include <cstring>
#include <exception>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "siblings/QuarnAssLog/user_log_file.h"

using user_log::kTraceSource;

QUARN_EXPORT int QUARN_CDECL TarnLogToFile(const char* line) {
    if (line == nullptr) return 0;
    try {
        return user_log::current_log().append(line, std::strlen(line)) ? 1 : 0;
    } catch (const std::exception& error) {
        LogTrace("TarnLogToFile", kTraceError, kTraceSource, __LINE__, "发生异常: %s",
                 error.what());
        return 0;
    }
}

// Called once at installation: the folder of the log exists.
QUARN_EXPORT int QUARN_CDECL Init(const char* /*argument*/, char** /*result*/) {
    try {
        return user_log::current_log().prepare() ? 0 : 1;
    } catch (const std::exception& error) {
        LogTrace("Init", kTraceError, kTraceSource, __LINE__, "发生异常: %s", error.what());
        return 1;
    }
}

static_assert(sizeof(sibling::TarnLogToFileFunction{&TarnLogToFile}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
