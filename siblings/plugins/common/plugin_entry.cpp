#include "siblings/plugins/common/plugin_entry.h"

#include <cstring>
#include <string>

#include "cutil/trace.h"
#include "cutil/xml.h"
#include "os/memory.h"

namespace plugin {
namespace {

Verdict judge(const Plugin& plugin, const char* argument) {
    const XmlUntrackedDocument item(argument != nullptr ? cutil_xml_import_fre(argument) : nullptr);
    if (item == nullptr) return bad_option("检查项参数不是有效的XML");
    if (auto bad = check_options(item.get(), plugin.rules, plugin.rule_count)) return *bad;
    return plugin.check(Options(item.get()));
}

void trace(const Plugin& plugin, const Verdict& verdict) {
    switch (verdict.outcome) {
        case Outcome::kPassed:
            LogTrace(plugin.function, kTraceInfo, plugin.source, __LINE__, "检查通过：%s",
                     verdict.reason.c_str());
            return;
        case Outcome::kFailed:
            LogTrace(plugin.function, kTraceInfo, plugin.source, __LINE__, "检查未通过：%s",
                     verdict.reason.c_str());
            return;
        case Outcome::kBadOption:
            LogTrace(plugin.function, kTraceError, plugin.source, __LINE__, "检查项有误：%s",
                     verdict.reason.c_str());
            return;
    }
}

// A new global-allocator copy of `text`; null when memory runs out.
char* global_copy(const std::string& text) {
    auto* block = static_cast<char*>(os::global_alloc(text.size() + 1));
    if (block != nullptr) std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

}  // namespace

int run(const Plugin& plugin, const char* argument, char** result) noexcept {
    if (result == nullptr) return kNoResultPointer;
    *result = nullptr;
    try {
        Verdict verdict;
        try {
            verdict = judge(plugin, argument);
        } catch (...) {
            // Out of memory on the way: still a "No" the engine can report.
            verdict = failed("检查时发生异常");
        }
        trace(plugin, verdict);
        std::string reply;
        if (!reply_text(verdict, &reply)) return kNoMemory;
        *result = global_copy(reply);
        return *result != nullptr ? 0 : kNoMemory;
    } catch (...) {
        return kNoMemory;
    }
}

}  // namespace plugin
