// Names of kernel objects that no other test run shares: the process id in
// every name, so parallel runs and leftovers of earlier runs never meet.
#pragma once

#include <string>

#include "os/process.h"

namespace quarn::test {

inline std::string unique_name(const char* stem) {
    return std::string("QuarnOsTest ") + stem + " " + std::to_string(os::process_id());
}

}  // namespace quarn::test
