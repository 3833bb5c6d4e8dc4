#include "interface/sibling_lookup.h"

#include "cutil/trace.h"
#include "os/module.h"

namespace gateway {

void* find_loaded_export(const char* wrapper, const char* module, const char* export_name) {
    const os::Handle handle = os::module_find(module);
    if (handle == nullptr) {
        LogTrace(wrapper, kTraceError, kTraceSource, __LINE__, "没有找到模块 %s", module);
        return nullptr;
    }
    void* address = os::module_symbol(handle, export_name);
    if (address == nullptr) {
        LogTrace(wrapper, kTraceError, kTraceSource, __LINE__, "没有找到接口 %s", export_name);
    }
    return address;
}

}  // namespace gateway
