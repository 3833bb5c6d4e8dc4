// The exports of the user area may be called before Init, by a program that
// has not loaded the sibling modules the gateway looks for.
#pragma once

#include "interface/assistant_dir.h"

namespace autocheck {

// Makes sure `file_name` is loaded: found among the loaded modules, or
// loaded from the assistant directory (never unloaded). On failure false,
// with the path tried in `path` (kPathSize bytes).
bool ensure_assistant_module(const char* file_name, char* path);

}  // namespace autocheck
