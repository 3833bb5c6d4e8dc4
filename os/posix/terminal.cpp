#include "os/terminal.h"

#include <cstring>

#include "os/text.h"

namespace os {

std::string argument_to_gbk(const char* argument) {
    return argument != nullptr ? utf8_to_gbk(argument, std::strlen(argument)) : std::string();
}

}  // namespace os
