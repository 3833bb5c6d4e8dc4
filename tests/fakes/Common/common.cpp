// Double of QuarnCommon.dll: device information through the plug-in call.
// Unscripted, it describes a device in several elements, as the real module
// does; the names are the module's business and pass through unread.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL GetDeviceInfo(const char* argument, char** result) {
    fake::record("GetDeviceInfo", "%s", fake::text(argument));
    return fake::answer_with_text("GetDeviceInfo", result, 0,
                                  "<QUARN><ComputerName>TEST-PC</ComputerName>"
                                  "<Mac>00-16-3E-0A-0B-0C</Mac><IP>10.1.2.77</IP>"
                                  "<OS><Name>Windows 7</Name><SP>1</SP></OS></QUARN>");
}

static_assert(sizeof(sibling::PluginFunction{&GetDeviceInfo}) > 0);
