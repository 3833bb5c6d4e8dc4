// The one body of every check-item export: read the item, check it, reply.
//   QUARN_EXPORT int QUARN_CDECL CheckProcess(const char* argument, char** result) {
//       return plugin::run(kCheckProcess, argument, result);
//   }
#pragma once

#include <cstddef>

#include "siblings/plugins/common/options.h"
#include "siblings/plugins/common/verdict.h"

namespace plugin {

struct Plugin {
    const char* function;  // the export's name, for traces
    const char* source;    // trace source name ("QuarnCheckProcess.cpp")
    const OptionRule* rules;
    std::size_t rule_count;
    // Runs with options that passed check_options.
    Verdict (*check)(const Options& options);
};

// Result codes besides 0 (a reply with the verdict was handed out, whether
// "Yes" or "No"); *result then stays null.
enum : int {
    kNoResultPointer = 1,
    kNoMemory = 8,
};

// `argument`: the item's CheckType element as text (may be null). On success
// *result receives the reply, a new global-allocator GBK text. Policy
// mistakes are "No" verdicts with their reason, never failures; nothing
// thrown leaves this function.
int run(const Plugin& plugin, const char* argument, char** result) noexcept;

}  // namespace plugin
