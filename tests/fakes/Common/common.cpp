// Double of QuarnCommon.dll: device information through the plug-in call.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL GetDeviceInfo(const char* argument, char** result) {
    fake::record("GetDeviceInfo", "%s", fake::text(argument));
    return fake::answer_with_text("GetDeviceInfo", result, 0,
                                  "<QUARN><ComputerName>TEST-PC</ComputerName></QUARN>");
}

static_assert(sizeof(sibling::PluginFunction{&GetDeviceInfo}) > 0);
