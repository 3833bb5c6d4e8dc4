// CheckProcess: a program that must run, or must not, judged by the
// executable file names of the running processes (compared without case).
//   <Option><ProcessName>TarnAssistant.exe</ProcessName><Running>Yes</Running></Option>
#include <string>
#include <vector>

#include "interface/sibling_abi.h"
#include "os/error.h"
#include "os/machine.h"
#include "siblings/plugins/common/gbk_text.h"
#include "siblings/plugins/common/plugin_entry.h"

namespace {

constexpr plugin::OptionRule kRules[] = {
    {"ProcessName", true}, {"Running", false},  // "Yes" (the default): must run; "No": must not run
};

plugin::Verdict check_process(const plugin::Options& options) {
    const std::string name = options.text("ProcessName");
    bool must_run = true;
    if (auto bad = options.flag("Running", true, &must_run)) return *bad;

    std::vector<std::string> running;
    if (!os::process_names(&running)) {
        return plugin::failed("无法取得进程列表，错误 %u", os::last_error());
    }
    bool found = false;
    for (const std::string& process : running) found = found || plugin::same_name(process, name);

    const std::string shown = plugin::shown(name);
    if (found == must_run) {
        return plugin::passed(found ? "进程 %s 正在运行" : "进程 %s 没有运行", shown.c_str());
    }
    return plugin::failed(found ? "进程 %s 正在运行，要求不运行" : "进程 %s 没有运行",
                          shown.c_str());
}

constexpr plugin::Plugin kCheckProcess{"CheckProcess", "QuarnCheckProcess.cpp", kRules,
                                       sizeof kRules / sizeof kRules[0], &check_process};

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckProcess(const char* argument, char** result) {
    return plugin::run(kCheckProcess, argument, result);
}

static_assert(sizeof(sibling::PluginFunction{&CheckProcess}) > 0);
