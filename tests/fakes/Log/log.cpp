// Double of QuarnAssLog.dll: every line is recorded, none is written.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

QUARN_EXPORT int QUARN_CDECL TarnLogToFile(const char* line) {
    fake::record("TarnLogToFile", "%s", text(line));
    return fake::result_or("TarnLogToFile", 1);
}
QUARN_EXPORT int QUARN_CDECL Init(const char* argument, char** result) {
    fake::record("Init", "%s", text(argument));
    return fake::answer_with_text("Init", result, 0, nullptr);
}

static_assert(sizeof(sibling::TarnLogToFileFunction{&TarnLogToFile}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
