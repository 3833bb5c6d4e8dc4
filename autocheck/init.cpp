#include "autocheck/bound_modules.h"
#include "autocheck/startup.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "os/module.h"

namespace {

// Loads `file` of the assistant directory; null (traced) on failure. Loaded
// modules are never unloaded: their entry points live as long as the process.
os::Handle load_from_assistant_dir(const char* file, const char* failure) {
    char path[kPathSize];
    const os::Handle module =
        gateway::assistant_file_path(file, path) ? os::module_load(path) : nullptr;
    if (module == nullptr) {
        LogTrace("Init", kTraceError, autocheck::kTraceSource, __LINE__, "%s", failure);
    }
    return module;
}

// Looks `name` up and stores the address (null included) in *slot at once.
template <typename Function>
bool bind(os::Handle module, const char* name, Function* slot, const char* failure) {
    *slot = reinterpret_cast<Function>(os::module_symbol(module, name));
    if (*slot == nullptr) {
        LogTrace("Init", kTraceError, autocheck::kTraceSource, __LINE__, "%s", failure);
        return false;
    }
    return true;
}

}  // namespace

int QUARN_STDCALL Init(std::int32_t, std::int32_t) {
    LogTrace("Init", kTraceInfo, autocheck::kTraceSource, __LINE__, "QuarnAssAutoCheck.dll 初始化");

    const os::Handle http =
        load_from_assistant_dir(sibling::kHttpClientDll, "加载QuarnHttpClient.dll失败");
    if (http == nullptr) return 0;
    if (!bind(http, sibling::kHttpDownloadFileName, &HttpDownloadFile,
              "取函数HttpDownloadFile地址失败") ||
        !bind(http, sibling::kHttpGetName, &HttpGet, "取函数HttpGet地址失败") ||
        !bind(http, sibling::kHttpPostName, &HttpPost, "取函数HttpPost地址失败")) {
        return 0;
    }

    const os::Handle common =
        load_from_assistant_dir(sibling::kCommonDll, "加载QuarnCommon.dll失败");
    if (common == nullptr) return 0;
    if (!bind(common, sibling::kGetDeviceInfoName, &GetDeviceInfo, "取函数GetDeviceInfo地址失败")) {
        return 0;
    }

    const os::Handle cert =
        load_from_assistant_dir(sibling::kCheckCertDll, "加载QuarnCheckCert.dll失败");
    if (cert == nullptr) return 0;
    // The system's own message spells it "GetAllUsbkeyCert".
    if (!bind(cert, sibling::kGetAllUsbKeyCertName, &GetAllUsbKeyCert,
              "取函数GetAllUsbkeyCert地址失败")) {
        return 0;
    }
    return 1;
}
