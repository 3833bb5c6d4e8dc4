// The assistant's switches as the host and the library both read them: the
// arguments after the program name, cut at each "|" (the form the
// installation writes, "-u|-install") and at blanks, each piece a whole
// switch. Text elsewhere on the line (a folder named "lab-user", a desktop
// link named "Office-user") is never taken for one.
#pragma once

#include <string>
#include <vector>

namespace gateway {

// The pieces of `arguments` (the command line after the program name) in
// order, trimmed, empty ones left out. A piece starting "-cl:" runs to the
// next "|" whole, since a link name may hold blanks. Double quotes are
// dropped, as the program's own argument splitting drops them.
std::vector<std::string> switch_pieces(const std::string& arguments);

// `command_line` past the program name: a quoted name runs to its closing
// quote, an unquoted one to the first blank.
const char* program_arguments(const char* command_line);

// True when one piece of `command_line`'s arguments is `name`, letter case
// aside ("-install", "-logon", "-user").
bool command_line_has_switch(const char* command_line, const char* name);

}  // namespace gateway
