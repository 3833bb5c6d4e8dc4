// The product's modules as quarnctl reaches them: the one beside quarnctl
// first (an installed assistant keeps both in its folder), else the one in
// the assistant directory.
#pragma once

#include "os/types.h"

namespace quarnctl {

// Loads `file_name` (e.g. "QuarnAssConfigMgr.dll"); null when neither place
// has it.
os::Handle load_product_module(const char* file_name);

}  // namespace quarnctl
