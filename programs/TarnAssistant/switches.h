// The assistant's command line: switches separated by "|" (and blanks
// between arguments), as the library and the installation write them:
// "-logon", "-user", "-install", "-u", "-cl:<desktop link name>".
#pragma once

#include <string>
#include <vector>

namespace assistant {

struct Switches {
    bool logon = false;                // started by the session at logon
    bool user = false;                 // started after a change of network user
    bool install = false;              // started by the installation
    bool uninstall = false;            // "-u": remove the product's settings and end
    bool link = false;                 // "-cl:<name>": make a desktop link first
    std::string link_name;             // GBK; may be empty
    std::vector<std::string> unknown;  // pieces no switch matches, for the trace
};

// Reads the arguments after the program name.
Switches parse_switches(int argc, const char* const* argv);

}  // namespace assistant
