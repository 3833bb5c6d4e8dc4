// What a check item concluded, and the reply text the check engine reads:
//   <?xml version="1.0" encoding="gbk"?>
//   <Result><CheckType><Result>Yes|No</Result><Reason>…</Reason></CheckType></Result>
#pragma once

#include <string>

#include "os/compiler.h"

namespace plugin {

enum class Outcome {
    kPassed,
    kFailed,
    kBadOption,  // the policy item cannot be judged as written: answered "No"
};

struct Verdict {
    Outcome outcome = Outcome::kFailed;
    std::string reason;  // GBK, for the user and the administrator
};

// Verdicts with a printf-formatted reason. Texts from the policy or the
// machine are only ever arguments.
Verdict passed(const char* format, ...) QUARN_PRINTF(1, 2);
Verdict failed(const char* format, ...) QUARN_PRINTF(1, 2);
Verdict bad_option(const char* format, ...) QUARN_PRINTF(1, 2);

// The reply document's text form; false when memory runs out.
bool reply_text(const Verdict& verdict, std::string* text);

// A text from the policy or the machine as a reason shows it: cut after
// `limit` bytes (never inside a double-byte character) and marked "…".
std::string shown(const std::string& text, std::size_t limit = 160);

}  // namespace plugin
