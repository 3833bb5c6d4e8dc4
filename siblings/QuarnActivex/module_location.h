// Where the module-call component finds the module it was asked for.
#pragma once

#include <string>

namespace activex {

enum class Location {
    kLocal,    // a path on this machine, used as given
    kRemote,   // an http:// or https:// address, fetched into the cache first
    kRefused,  // a name that climbs out of its folder
};

// Judges `module_path`. A local path may not hold a ".." step; a remote
// address's file name (the part after its last "/", appended to the cache
// folder) may not hold ".." or a path separator.
Location classify_module_path(const std::string& module_path);

// The file name that a remote module is cached under ("" when none).
std::string remote_file_name(const std::string& url);

}  // namespace activex
