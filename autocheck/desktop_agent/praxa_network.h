// Network control through the desktop security agent's filter driver, for
// endpoints where that agent is installed (configuration key SuportPraxa).
#pragma once

#include <cstddef>

#include "os/compiler.h"

// Cuts (`cut` not 0) or restores the network through the agent. A cut takes
// its options from the agent's configuration database. 1 when the agent was
// asked, 0 otherwise.
int ControlNetworkByPraxaTdi(int cut);

// "<system directory>\BrimAgent\<formatted name>" into `path` of `size`
// bytes (no second separator when the name begins with one), each piece
// appended within the buffer. Returns 1.
int GetAgentModulePath(char* path, std::size_t size, const char* name_format, ...)
    QUARN_PRINTF(3, 4);
