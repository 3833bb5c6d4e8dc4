#include "os/terminal.h"

namespace os {

// The C runtime hands main its arguments in the ANSI code page already.
std::string argument_to_gbk(const char* argument) {
    return argument != nullptr ? argument : "";
}

}  // namespace os
