#include "cutil/trace.h"
#include "interface/sibling_lookup.h"
#include "interface/system_helpers.h"
#include "os/event.h"
#include "os/system.h"

using gateway::kTraceSource;

void TarnSetIpTTL(int raised) {
    constexpr char kFunction[] = "TarnSetIpTTL";
    const unsigned ttl = raised != 0 ? 200 : 64;
    if (os::set_ip_ttl(ttl)) {
        LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "设置TTL成功：%d",
                 static_cast<int>(ttl));
        return;
    }
    LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "通过 SetIpTTL 设置TTL失败：%d",
             static_cast<int>(ttl));
    // Another process of the product waits on these and sets the TTL for us.
    const char* name = raised != 0 ? "Global\\EventSet200" : "Global\\EventSet64";
    const os::Handle event = os::event_open(name);
    if (event == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "打开事件失败：%s", name);
        return;
    }
    os::event_set(event);
    os::event_close(event);
}
