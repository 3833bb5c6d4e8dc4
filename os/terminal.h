// Texts that cross the terminal: a tool's arguments come in the terminal's
// encoding (UTF-8 on POSIX, the ANSI code page on Windows) and the product's
// texts are GBK.
#pragma once

#include <string>

namespace os {

// A command-line argument as GBK.
std::string argument_to_gbk(const char* argument);

}  // namespace os
