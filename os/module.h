// Dynamic modules: the product and its siblings find each other by file name.
#pragma once

#include <cstddef>

#include "os/types.h"

namespace os {

// Loads a module by path (LoadLibraryA / dlopen). Null on failure, with the
// last error set.
Handle module_load(const char* path);

// An already-loaded module by file name ("QuarnAssLog.dll"), never loading
// it (GetModuleHandleA). On POSIX the match is on the file name part of each
// loaded object's path, case-insensitive as on Windows.
Handle module_find(const char* file_name);

// Address of an exported symbol, or null.
void* module_symbol(Handle module, const char* name);

// Address of a symbol that `module` itself exports and defines, or null
// (procedure not found). POSIX: dlsym also searches the module's
// dependencies (the C library's "system"), so the address must lie in the
// module's own image. Windows: GetProcAddress reads only the module's export
// table, but a forwarded export ("kernel32.X" -> another DLL) resolves into
// another module and is refused the same way.
void* module_own_symbol(Handle module, const char* name);

// Drops one reference taken by module_load (FreeLibrary / dlclose); the
// module is unloaded with its last reference. Used by tests that swap
// test doubles; the product never unloads a module.
bool module_free(Handle module);

// Full path of the module whose image contains `address` (the product DLL
// for code inside it, the executable for code linked into it). Writes at most
// size-1 characters plus the terminator; returns the length, 0 on failure.
// On Windows the path uses "\" separators; on POSIX "/" is reported as "\"
// so that callers cutting after the last "\" behave the same.
std::size_t module_path_of_address(const void* address, char* out, std::size_t size);

// Path of the running executable, native separators.
std::size_t module_executable_path(char* out, std::size_t size);

}  // namespace os
