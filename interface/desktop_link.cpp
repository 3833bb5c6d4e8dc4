#include "interface/desktop_link.h"

#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/sibling_lookup.h"
#include "os/session.h"

namespace gateway {

bool make_desktop_link(const char* name, const char* program_path, const char* icon_path) {
    const char* link = name != nullptr && *name != '\0' ? name : kDefaultDeskLinkName;
    if (!os::desktop_link_create(link, program_path, "", icon_path)) {
        LogTrace("make_desktop_link", kTraceError, kTraceSource, __LINE__,
                 "创建桌面快捷方式失败: %s", link);
        return false;
    }
    Call_TarnWriteConfig(kDeskLinkNameKey, link);
    return true;
}

}  // namespace gateway
