// Which switches the library finds on its own command line: whole pieces
// after the program name, cut at "|" and at blanks.
#include "interface/command_switches.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandSwitches, OnlyWholeArgumentsAfterTheProgramName) {
    const struct {
        const char* command_line;
        const char* found;  // of -install, -logon, -user: the initials found
    } cases[] = {
        {"TarnAssistant.exe", ""},
        {"\"C:\\Users\\lab-user\\Quarn\\TarnAssistant.exe\"", ""},
        {"\"C:\\Users\\lab-user\\Quarn\\TarnAssistant.exe\" -logon", "l"},
        {"C:\\Users\\lab-user\\TarnAssistant.exe -install", "i"},
        {"\"C:\\a -user\\TarnAssistant.exe\"", ""},
        {"TarnAssistant.exe -cl:Office-user|-install", "i"},
        {"TarnAssistant.exe -cl:My -user Link|-install", "i"},
        {"TarnAssistant.exe -cl:My Link|-install", "i"},
        {"TarnAssistant.exe -u|-install", "i"},
        {"TarnAssistant.exe |-install", "i"},
        {"TarnAssistant.exe \"-cl:Office|-install\"", "i"},
        {"TarnAssistant.exe -logon -user", "lu"},
        {"TarnAssistant.exe -LOGON", "l"},
        {"TarnAssistant.exe -users -logons -installer", ""},
        {"TarnAssistant.exe -logon|-user", "lu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command_line);
        std::string found;
        if (gateway::command_line_has_switch(c.command_line, "-install")) found += "i";
        if (gateway::command_line_has_switch(c.command_line, "-logon")) found += "l";
        if (gateway::command_line_has_switch(c.command_line, "-user")) found += "u";
        EXPECT_EQ(c.found, found);
    }
}

}  // namespace
