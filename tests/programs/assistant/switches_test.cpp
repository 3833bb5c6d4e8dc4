// The assistant's command line as the library and the installation write it.
#include "programs/TarnAssistant/switches.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using assistant::parse_switches;

TEST(AssistantSwitches, ReadsEveryFormTheProductWrites) {
    const struct {
        std::vector<const char*> arguments;
        bool logon, user, install, uninstall, link;
        const char* link_name;
        std::size_t unknown;
    } cases[] = {
        {{}, false, false, false, false, false, "", 0},
        {{"-logon"}, true, false, false, false, false, "", 0},
        {{"-USER"}, false, true, false, false, false, "", 0},
        {{"-u|-install"}, false, false, true, true, false, "", 0},
        {{"|-install"}, false, false, true, false, false, "", 0},
        {{"-cl:|-install"}, false, false, true, false, true, "", 0},
        // The shell cut the link name at its blank: it is joined again.
        {{"-cl:My", "Link|-install"}, false, false, true, false, true, "My Link", 0},
        {{"-logon", "-user"}, true, true, false, false, false, "", 0},
        {{"-uninstall|-x"}, false, false, false, false, false, "", 2},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"TarnAssistant.exe"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const auto s = parse_switches(static_cast<int>(argv.size()), argv.data());
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        EXPECT_EQ(c.logon, s.logon);
        EXPECT_EQ(c.user, s.user);
        EXPECT_EQ(c.install, s.install);
        EXPECT_EQ(c.uninstall, s.uninstall);
        EXPECT_EQ(c.link, s.link);
        EXPECT_EQ(c.link_name, s.link_name);
        EXPECT_EQ(c.unknown, s.unknown.size());
    }
}

}  // namespace
