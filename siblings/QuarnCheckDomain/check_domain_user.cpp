// QuarnCheckDomain.dll: CheckDomainUser, reached through the module-call
// component with "<CheckType></CheckType>"; the argument carries nothing the
// check needs, so any text (or none) is accepted.
#include <cstring>
#include <exception>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "siblings/QuarnCheckDomain/domain_check.h"

namespace {

constexpr char kFunction[] = "CheckDomainUser";

enum : int { kDone = 0, kNoResultPointer = 1, kNoMemory = 8 };

int check(char** result) {
    const std::string text = domain_check::reply_text(domain_check::current_logon());
    if (text.empty()) return kNoMemory;
    auto* block = static_cast<char*>(os::global_alloc(text.size() + 1));
    if (block == nullptr) return kNoMemory;
    std::memcpy(block, text.c_str(), text.size() + 1);
    *result = block;
    return kDone;
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL CheckDomainUser(const char* /*argument*/, char** result) {
    if (result == nullptr) return kNoResultPointer;
    *result = nullptr;
    try {
        return check(result);
    } catch (const std::exception&) {
        LogTrace(kFunction, kTraceError, domain_check::kTraceSource, __LINE__, "内存不足");
        return kNoMemory;
    }
}

static_assert(sizeof(sibling::PluginFunction{&CheckDomainUser}) > 0);
