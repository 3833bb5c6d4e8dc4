#include "cutil/trace.h"
#include "interface/sibling_lookup.h"
#include "interface/system_helpers.h"
#include "os/system.h"

int IsWinVista() {
    os::OsVersion version;
    if (!os::os_version(&version)) return 0;
    LogTrace("IsWinVista", kTraceInfo, gateway::kTraceSource, __LINE__,
             "OS MajorVersion %d MinorVersion %d", static_cast<int>(version.major),
             static_cast<int>(version.minor));
    return version.major > 5 ? 1 : 0;
}
