// The options of one check item: the children of CheckType/Option in the
// text the check engine hands a plug-in, e.g.
//   <CheckType><DLL>QuarnCheckProcess.dll</DLL><DLLFunc>CheckProcess</DLLFunc>
//     <Option><ProcessName>TarnAssistant.exe</ProcessName></Option></CheckType>
#pragma once

#include <cstddef>
#include <optional>

#include "siblings/plugins/common/verdict.h"

struct XmlNode;

namespace plugin {

struct OptionRule {
    const char* name;
    bool required;
};

class Options {
  public:
    // `check_type` is the item document's root; the rules were checked.
    explicit Options(const XmlNode* check_type) : check_type_(check_type) {}

    // The option's text; null when it is absent.
    const char* text(const char* name) const;
    // "Yes" or "No" in any case; `fallback` when absent.
    std::optional<Verdict> flag(const char* name, bool fallback, bool* value) const;

  private:
    const XmlNode* check_type_;
};

// Checks the item document against a plug-in's rules: the root is CheckType
// with at most one Option; every option is one the plug-in knows (or one the
// engine fills in for every plug-in: ServerIp, ServerPort), appears once and
// has a text; every required option is there. A bad-option verdict otherwise.
std::optional<Verdict> check_options(const XmlNode* check_type, const OptionRule* rules,
                                     std::size_t rule_count);

}  // namespace plugin
