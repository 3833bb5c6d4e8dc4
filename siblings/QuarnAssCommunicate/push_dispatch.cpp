#include "siblings/QuarnAssCommunicate/push_dispatch.h"

#include <memory>
#include <utility>

#include "cutil/text.h"
#include "cutil/trace.h"
#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {
namespace {

constexpr char kFunction[] = "PushDispatch";
constexpr char kForcedCheck[] = "DoSecurityCheck";
// The library answers every forced check 1.
constexpr int kForcedCheckResult = 1;
constexpr int kBusyResult = 0;

bool is_forced_check(const XmlNode* command) {
    const char* what = cutil_xml_get(command, "TARN/WhatToDo");
    return what != nullptr && cutil_str_iequal(what, kForcedCheck);
}

}  // namespace

Dispatcher::Dispatcher(Call call)
    : call_(std::move(call)), checks_(1, 2), commands_(kCommandThreads, kCommandsInFlight) {}

Dispatcher::Taken Dispatcher::submit(XmlDocument command, Answer answer) {
    // std::function copies what it holds: the document is shared.
    std::shared_ptr<XmlNode> held(command.release(), &cutil_xml_free);
    const Call& call = call_;
    if (is_forced_check(held.get())) {
        const bool queued = checks_.post([held, &call] {
            int result = 0;
            call(held.get(), &result);
        });
        if (!queued) {
            LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "%s",
                     "已有一次强制安全检查在等待, 本次合并");
        }
        answer(kForcedCheckResult);
        return queued ? Taken::kRunning : Taken::kCoalesced;
    }
    const bool queued = commands_.post([held, answer, &call] {
        int result = 0;
        if (call(held.get(), &result)) answer(result);
    });
    if (queued) return Taken::kRunning;
    LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "已有 %u 条命令在处理, 本条拒绝",
             static_cast<unsigned>(kCommandsInFlight));
    answer(kBusyResult);
    return Taken::kBusy;
}

void Dispatcher::stop() {
    checks_.stop();
    commands_.stop();
}

}  // namespace communicate
