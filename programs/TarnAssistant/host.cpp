#include "programs/TarnAssistant/host.h"

#include <cstdint>
#include <cstring>

#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/compiler.h"
#include "os/module.h"
#include "os/session.h"

namespace assistant {
namespace {

// Init and Start of the agent library (standard calling convention).
using EntryFunction = int(QUARN_STDCALL*)(std::int32_t, std::int32_t);

// Loaded before the library, in the order the library expects to find them.
constexpr const char* kSiblings[] = {
    sibling::kConfigMgrDll, sibling::kLogDll,          sibling::kCommunicateDll,
    sibling::kShowIconDll,  sibling::kRuntimeCheckDll,
};

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

}  // namespace

std::string own_path() {
    char path[1024] = "";
    os::module_executable_path(path, sizeof path);
    return path;
}

std::string own_folder() {
    std::string path = own_path();
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string(1, '.') + kSeparator
                                          : path.substr(0, separator + 1);
}

void load_siblings(const std::string& folder) {
    for (const char* name : kSiblings) {
        if (os::module_load((folder + name).c_str()) == nullptr) {
            LogTrace("load_siblings", kTraceError, kTraceSource, __LINE__, "加载模块失败: %s%s",
                     folder.c_str(), name);
        }
    }
}

bool start_agent(const std::string& folder) {
    const std::string library = folder + sibling::kAutoCheckDll;
    os::Handle agent = os::module_load(library.c_str());
    if (agent == nullptr) {
        LogTrace("start_agent", kTraceError, kTraceSource, __LINE__, "加载模块失败: %s",
                 library.c_str());
        return false;
    }
    auto init = reinterpret_cast<EntryFunction>(os::module_symbol(agent, "Init"));
    auto start = reinterpret_cast<EntryFunction>(os::module_symbol(agent, "Start"));
    if (init == nullptr || start == nullptr) {
        LogTrace("start_agent", kTraceError, kTraceSource, __LINE__, "%s 缺少 Init 或 Start",
                 library.c_str());
        return false;
    }
    // A module Init could not bind is traced by the library; it works without it.
    const int bound = init(0, 0);
    LogTrace("start_agent", kTraceInfo, kTraceSource, __LINE__, "Init = %d", bound);
    // Start may end the process here (another assistant already installs).
    const int started = start(0, 0);
    LogTrace("start_agent", kTraceInfo, kTraceSource, __LINE__, "Start = %d", started);
    return true;
}

void register_autostart() {
    if (!os::autostart_register(kAutostartName, own_path().c_str(), "-logon")) {
        LogTrace("register_autostart", kTraceError, kTraceSource, __LINE__, "登记开机启动失败");
    }
}

void make_desktop_link(const std::string& folder, const std::string& name) {
    gateway::make_desktop_link(name.c_str(), own_path().c_str(),
                               (folder + gateway::kAssistantIconFile).c_str());
}

}  // namespace assistant
