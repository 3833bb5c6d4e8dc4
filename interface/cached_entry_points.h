// The three entry points the gateway keeps once found: the user-log writer
// and the configuration reader and writer. Each starts empty, is filled by
// the first successful lookup and is then used without looking again; a race
// between threads only repeats a harmless lookup of the same address.
#pragma once

#include "interface/sibling_abi.h"

namespace gateway {

sibling::TarnLogToFileFunction cached_log_writer();
sibling::TarnReadConfigFunction cached_config_reader(const char* wrapper);
sibling::TarnWriteConfigFunction cached_config_writer(const char* wrapper);

// A host that runs the agent's code without the configuration module (a tool
// with a store of its own) installs that store here; it is used before any
// module lookup until null pointers are installed again.
void install_config_store(sibling::TarnReadConfigFunction reader,
                          sibling::TarnWriteConfigFunction writer);

// Empties the three caches. Production never calls it: a module of the
// assistant is never unloaded. Tests that swap a sibling double call it
// before they unload the old one.
void forget_cached_entry_points();

}  // namespace gateway
