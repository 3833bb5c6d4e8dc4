// Finding an export of a sibling module that the process has already loaded:
// the one lookup every Call_ wrapper makes, with its two traces.
#pragma once

#include "interface/sibling_abi.h"

namespace gateway {

// The trace source of everything in the gateway.
inline constexpr char kTraceSource[] = "Interface.cpp";

// Looks up the loaded module `module` (never loading it) and its export
// `export_name`. A missing module traces "没有找到模块 <module>", a missing
// export "没有找到接口 <export>", both at error level under `wrapper`.
void* find_loaded_export(const char* wrapper, const char* module, const char* export_name);

template <typename Function>
Function find_loaded(const char* wrapper, const char* module, const char* export_name) {
    return reinterpret_cast<Function>(find_loaded_export(wrapper, module, export_name));
}

}  // namespace gateway
