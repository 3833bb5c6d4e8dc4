// Check-item plug-ins called as the check engine calls them: through
// CallOneModuleFuncA and the real module-call component, with the item's
// CheckType element as text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/gbk.h"

namespace quarn::test {

struct PluginReply {
    int code = -1;        // CallOneModuleFuncA's result
    std::string text;     // the reply as handed back
    std::string verdict;  // Result/CheckType/Result
    std::string reason;   // Result/CheckType/Reason
};

// Calls `function` of bin/<module> with `argument` (may be null).
PluginReply call_plugin(const char* module, const char* function, const char* argument);

// The CheckType text the engine would send for an item with these options
// (the inner text of its Option element).
std::string check_type(const char* module, const char* function, const std::string& options);

// `text` with every "{key}" replaced by its value.
std::string filled(std::string text,
                   std::initializer_list<std::pair<const char*, std::string>> values);

// One row of a plug-in's table: the options and what the reply must say.
struct PluginRow {
    const char* name;
    const char* options;  // may hold "{placeholders}"
    const char* verdict;  // "Yes" or "No"
    const char* reason;   // a part of the reason (UTF-8 source, GBK at run time)
};

inline std::string row_name(const testing::TestParamInfo<PluginRow>& info) {
    return info.param.name;
}

// Asserts the reply: called successfully, the verdict, a part of the reason.
#define EXPECT_PLUGIN_REPLY(row, reply)                                          \
    do {                                                                         \
        EXPECT_EQ(1, (reply).code) << (reply).text;                              \
        EXPECT_EQ((row).verdict, (reply).verdict) << (reply).text;               \
        EXPECT_NE(std::string::npos, (reply).reason.find((row).reason))          \
            << ::testing::PrintToString(::quarn::test::GbkText{(reply).reason}); \
    } while (0)

}  // namespace quarn::test
