// The local process-monitor component, removed whenever the policy has no
// system-process item. It is not restored here: a later policy that has such
// an item brings nothing back.
#include "autocheck/policy/update_steps.h"
#include "autocheck/trace_sources.h"
#include "cutil/file.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"

namespace autocheck::policy {
namespace {

constexpr const char* kProcessMonitorFiles[] = {"TarnProcMonT.dll", "SoftForbid.inf"};

}  // namespace

void remove_process_monitor() {
    LogTrace(kUpdateFunction, kTraceInfo, kPolicyManagerSource, __LINE__,
             "开始卸载 TarnProcMon.dll");
    for (const char* file : kProcessMonitorFiles) {
        char path[kPathSize];
        if (!gateway::assistant_file_path(file, path)) continue;  // traced there
        LogTrace(kUpdateFunction, kTraceInfo, kPolicyManagerSource, __LINE__, "Delete File %s",
                 path);
        // A missing file is no error; one in use is moved aside and deleted at restart.
        cutil_file_Delete(path);
    }
}

}  // namespace autocheck::policy
