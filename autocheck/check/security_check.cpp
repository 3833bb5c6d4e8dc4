#include "autocheck/check/security_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "autocheck/check/plugin_call.h"
#include "autocheck/check/verdict.h"
#include "autocheck/pass_budget.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/module_call.h"
#include "interface/system_helpers.h"
#include "os/fault.h"
#include "os/memory.h"
#include "os/time.h"

namespace {

using autocheck::kSecurityCheckSource;
using namespace autocheck::check;

constexpr char kFunction[] = "DoSecurityCheck";
constexpr char kUnset[] = "Failed";
constexpr std::size_t kHostSize = 64;
constexpr int kShortestUsedSeconds = 5;
// A check of a real policy takes seconds. A server that never answers the
// plug-ins' downloads (each may wait for the HTTP client's own limit) or a
// policy of thousands of items would otherwise hold the cycle, and every
// forced check behind it, for as long as it likes: past this budget, or the
// budget of the admission pass it runs in (pass_budget.h), the check is
// abandoned, as when the policy cannot be had.
constexpr std::uint32_t kCheckBudgetMs = 3 * 60 * 1000;
// Plug-in calls that failed in this check: not made again for another item.
constexpr int kFailedCallsKept = 16;

#define QUARN_ITEM "TARN/SecurityCheckPolicy/CheckItems/Item[%d]"

#define QUARN_TRACE(level, ...) \
    LogTrace(kFunction, level, kSecurityCheckSource, __LINE__, __VA_ARGS__)

// Everything one check holds, as plain pointers. The check runs under the
// fault guard, where no object with a destructor may live across a fault;
// whatever is still held when the guard returns, after a fault too, is
// released by release_all.
struct CheckRun {
    XmlNode* policy = nullptr;
    SecurityCheckNotify notify = nullptr;
    XmlNode* result = nullptr;     // the result document being built
    XmlNode* reply = nullptr;      // the current item's parsed plug-in reply
    char* text_form = nullptr;     // the current item's CheckType text form
    char* plugin_text = nullptr;   // the current plug-in's result text
    char* config_value = nullptr;  // a configuration block being copied
    bool produced = false;         // `result` is complete
    char host[kHostSize] = "";     // the server, from WebUrl
    int port = 0;
    char download_dir[kPathSize] = "";
    char failed_calls[kFailedCallsKept][kPathSize] = {};  // "path|function"
    int failed_count = 0;
    std::uint32_t started = 0;   // tick of the check's start
    XmlNode* calling = nullptr;  // the CheckType of the plug-in being called
    bool stopped = false;        // a plug-in kept the check past its time
    bool faulted = false;        // a plug-in faulted
};

// Told on the plug-in's thread just before it is called.
void notify_before_call(void* context) {
    auto* run = static_cast<CheckRun*>(context);
    if (run->notify != nullptr) run->notify(run->calling, 1);
}

// What the check may still wait for a plug-in: the rest of its own budget,
// within the rest of its pass's.
std::uint32_t time_left(const CheckRun* run) {
    const std::uint32_t used = os::tick_count() - run->started;
    const std::uint32_t left = used < kCheckBudgetMs ? kCheckBudgetMs - used : 0;
    const std::uint32_t pass_left = autocheck::pass_budget_left_ms();
    return left < pass_left ? left : pass_left;
}

void release_item(CheckRun* run) {
    cutil_xml_free(run->reply);
    run->reply = nullptr;
    std::free(run->plugin_text);  // the module-call routine's standard heap
    run->plugin_text = nullptr;
    std::free(run->text_form);
    run->text_form = nullptr;
}

void release_all(CheckRun* run) {
    release_item(run);
    os::global_free(run->config_value);
    run->config_value = nullptr;
    cutil_xml_free(run->result);
    run->result = nullptr;
}

// Reads `key` into `buffer` (kPathSize bytes, longer values cut); false when
// it is not configured, `buffer` then holding "Failed".
bool read_config_text(CheckRun* run, const char* key, char* buffer) {
    std::snprintf(buffer, kPathSize, "%s", kUnset);
    if (Call_TarnReadConfig(key, &run->config_value) != 0 && run->config_value != nullptr) {
        std::snprintf(buffer, kPathSize, "%s", run->config_value);
    }
    os::global_free(run->config_value);
    run->config_value = nullptr;
    return std::strcmp(buffer, kUnset) != 0;
}

// The server host and port from WebUrl and the folder plug-ins come from.
bool read_settings(CheckRun* run) {
    char web_url[kPathSize];
    // A host too long for its buffer is left empty by SplitUrlHostPort: no
    // plug-in is ever told a cut host.
    if (read_config_text(run, "WebUrl", web_url)) {
        SplitUrlHostPort(web_url, &run->port, run->host, sizeof run->host);
    }
    if (run->host[0] == '\0') {
        QUARN_TRACE(kTraceError, "没有找到检查页面");
        return false;
    }
    if (!read_config_text(run, "ServerDownPath", run->download_dir)) {
        QUARN_TRACE(kTraceError, "取服务器的Download目录失败，检查可能会出问题");
        GetAssistantDir(run->download_dir);
    }
    return true;
}

// Points the item's ServerIp option, when it has one, at our server.
void set_server_option(CheckRun* run, int k) {
    if (cutil_xml_find(run->policy, QUARN_ITEM "/CheckType/Option/ServerIp", k) == nullptr) return;
    cutil_xml_set(run->policy, run->host, QUARN_ITEM "/CheckType/Option/ServerIp", k);
    char port[16];
    std::snprintf(port, sizeof port, "%d", run->port);
    cutil_xml_set(run->policy, port, QUARN_ITEM "/CheckType/Option/ServerPort", k);
}

// Calls the plug-in with the CheckType element's text form; on success
// run->reply holds its parsed answer.
void call_plugin(CheckRun* run, XmlNode* check_type, const char* dll, const char* function) {
    if (!plugin_name_is_plain(dll)) {
        QUARN_TRACE(kTraceError, "插件名不是文件名，拒绝调用: %s", dll);
        return;
    }
    char module_path[kPathSize];
    const int length =
        std::snprintf(module_path, sizeof module_path, "%s%s", run->download_dir, dll);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof module_path) {
        // A cut path could name another module.
        QUARN_TRACE(kTraceError, "插件路径太长，不调用: %s%s", run->download_dir, dll);
        return;
    }
    const int size = cutil_xml_export(check_type, nullptr, 0);
    if (size <= 0) return;
    run->text_form = static_cast<char*>(std::malloc(static_cast<std::size_t>(size) + 1));
    if (run->text_form == nullptr) return;
    cutil_xml_export(check_type, run->text_form, size + 1);

    // A module that could not be had (or a function that failed) in this
    // check is not fetched and called again for the next item that names it.
    char call_name[kPathSize];
    std::snprintf(call_name, sizeof call_name, "%s|%s", dll, function);
    for (int i = 0; i < run->failed_count; ++i) {
        if (std::strcmp(run->failed_calls[i], call_name) == 0) {
            QUARN_TRACE(kTraceError, "本次检查中调用%s的%s已失败，不再调用", dll, function);
            return;
        }
    }
    // Nor is a module this pass could not download, in a later check of it.
    if (autocheck::pass_download_failed(module_path)) {
        QUARN_TRACE(kTraceError, "本次准入中下载%s已失败，不再下载", module_path);
        return;
    }
    run->calling = check_type;
    PluginCall call{module_path, run->text_form, function, &notify_before_call, run};
    switch (call_plugin_bounded(&call, time_left(run))) {
        case PluginCallEnd::kReturned:
            break;
        case PluginCallEnd::kFaulted:
            run->faulted = true;
            return;
        case PluginCallEnd::kTimedOut:
            QUARN_TRACE(kTraceError, "调用%s的%s超过检查时间没有返回，放弃本次检查", dll, function);
            run->stopped = true;
            return;
        case PluginCallEnd::kStillHung:
            QUARN_TRACE(kTraceError, "调用%s的%s上次还没有返回，不再调用", dll, function);
            return;
    }
    run->plugin_text = call.text;
    const int called = call.called;
    if (called == 0 && run->failed_count < kFailedCallsKept) {
        std::snprintf(run->failed_calls[run->failed_count++], kPathSize, "%s", call_name);
    }
    if (call.code == kModuleNotFetched || call.code == kModuleRefused) {
        autocheck::pass_note_failed_download(module_path);
    }
    if (called == 0 || run->plugin_text == nullptr) {
        if (run->plugin_text != nullptr) {
            QUARN_TRACE(kTraceError, "调用%s的%s返回失败, Err=%s", module_path, function,
                        run->plugin_text);
        }
        return;
    }
    run->reply = cutil_xml_import(run->plugin_text, kSecurityCheckSource, kFunction, __LINE__);
    if (run->reply != nullptr && run->notify != nullptr) run->notify(run->reply, 0);
}

// One item: attempted when it names a plug-in and its function; entered in
// the result and judged when the plug-in answered.
void check_item(CheckRun* run, int k, CheckTally* tally) {
    XmlNode* policy = run->policy;
    XmlNode* check_type = cutil_xml_find(policy, QUARN_ITEM "/CheckType", k);
    const char* key = cutil_xml_get(policy, QUARN_ITEM "/Key", k);
    const int rate = item_rate(cutil_xml_get_int(policy, QUARN_ITEM "/Rate", k));
    const char* dll = cutil_xml_get(policy, QUARN_ITEM "/CheckType/DLL", k);
    const char* function = cutil_xml_get(policy, QUARN_ITEM "/CheckType/DLLFunc", k);
    if (dll == nullptr || function == nullptr) return;

    tally_attempt(tally, rate);
    set_server_option(run, k);
    call_plugin(run, check_type, dll, function);
    if (run->reply != nullptr) {
        const int i = cutil_xml_add(run->result, nullptr, "TARN/Result");
        if (i > 0) {
            cutil_xml_add(run->result, cutil_xml_get(policy, QUARN_ITEM "/ItemID", k),
                          "TARN/Result[%d]/ItemID", i);
            cutil_xml_add(run->result, key, "TARN/Result[%d]/Key", i);
            cutil_xml_copy_children(cutil_xml_find(run->result, "TARN/Result[%d]", i), run->reply);
        }
        tally_judge(tally, rate, cutil_xml_get(run->reply, "Result/CheckType/Result"), key);
    }
    release_item(run);
}

void add_number(XmlNode* document, long long value, const char* name) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    cutil_xml_add(document, text, "TARN/%s", name);
}

// Seconds from the hour, minute and second fields (dates and milliseconds
// ignored, as the server expects); 5 when that is not positive.
int used_seconds(const os::DateTime& start, const os::DateTime& end) {
    const int seconds =
        ((end.hour - start.hour) * 60 + end.minute - start.minute) * 60 + end.second - start.second;
    return seconds > 0 ? seconds : kShortestUsedSeconds;
}

void run_check(void* context) {
    auto* run = static_cast<CheckRun*>(context);
    XmlNode* policy = run->policy;
    const os::DateTime start = os::utc_time();
    if (!read_settings(run)) return;

    CheckHistory history;
    history.last_fault_time = cutil_xml_get(policy, "TARN/LastFaultTime");
    history.last_check_time = cutil_xml_get(policy, "TARN/LastCheckTime");
    history.last_check_result = cutil_xml_get(policy, "TARN/LastCheckResult");

    run->result = cutil_xml_create(kSecurityCheckSource, kFunction, __LINE__);
    if (run->result == nullptr) {
        QUARN_TRACE(kTraceError, "分配结果报文失败");
        return;
    }
    const int count = cutil_xml_count(policy, "TARN/SecurityCheckPolicy/CheckItems/Item");
    if (count < 1) {
        QUARN_TRACE(kTraceError, "没有安全检查项");
        return;
    }
    const int repair_days = cutil_xml_get_int(policy, "TARN/SecurityCheckPolicy/RepairConf");
    history.repair_days = repair_days > 0 ? repair_days : 0;

    CheckTally tally;
    run->started = os::tick_count();
    for (int k = 1; k <= count; ++k) {
        if (os::tick_count() - run->started > kCheckBudgetMs) {
            QUARN_TRACE(kTraceError, "安全检查超过%u秒，放弃本次检查", kCheckBudgetMs / 1000);
            return;
        }
        if (autocheck::pass_budget_spent()) {
            QUARN_TRACE(kTraceError, "本次准入超过%u秒，放弃本次检查",
                        autocheck::kPassBudgetMs / 1000);
            return;
        }
        check_item(run, k, &tally);
        if (run->stopped || run->faulted) return;
    }
    if (cutil_xml_count(run->result, "TARN/Result") == 0) {
        QUARN_TRACE(kTraceError, "没有检查结果");
        return;
    }

    history.days_since_fault = DaysSinceTime(history.last_fault_time, nullptr, nullptr);
    const CheckOutcome outcome = decide_outcome(tally, history);
    cutil_xml_add(run->result, outcome.fault_time_now ? "now" : "none", "TARN/UpdateFaultTime");
    cutil_xml_add(run->result, state_text(outcome.state), "TARN/CheckResult");
    add_number(run->result, outcome.score, "CheckScore");
    add_number(run->result, used_seconds(start, os::utc_time()), "CheckUsedSecond");
    run->produced = true;
}

}  // namespace

int QUARN_CDECL DoSecurityCheck(XmlNode* policy, XmlNode** result, SecurityCheckNotify notify) {
    if (result != nullptr) *result = nullptr;
    CheckRun run;
    run.policy = policy;
    run.notify = notify;
    const os::Fault fault = os::fault_guard(run_check, &run);
    if (fault != os::Fault::kNone || run.faulted) {
        QUARN_TRACE(kTraceError, "DoSecurityCheck发生异常");
        run.produced = false;
    }
    if (!run.produced) {
        release_all(&run);
        return 0;
    }
    release_item(&run);
    if (result != nullptr) {
        *result = run.result;
        run.result = nullptr;
    }
    release_all(&run);
    return 1;
}
