// Where the module-call component finds the module it was asked for, and
// which local modules it agrees to load at all.
#pragma once

#include <string>
#include <vector>

namespace activex {

enum class Location {
    kLocal,    // a file of a trusted folder, loaded by the full path found
    kRemote,   // an http:// or https:// address, fetched into the cache first
    kRefused,  // anything else
};

struct Place {
    Location location = Location::kRefused;
    std::string path;      // kLocal: the full path to load; kRemote: the URL
    const char* why = "";  // kRefused: the reason, for the trace
};

// Judges `module_path`. `trusted` lists the folders (each ending in a
// separator) whose modules may be loaded; the first is the assistant
// directory, where a bare name or a relative path is looked for. Refused:
// a UNC path, a ".." step, a drive-relative "C:name", an absolute path
// outside every trusted folder, and a remote address whose file name is
// empty or holds a separator, "..", a query or a character Windows file
// names cannot hold.
Place place_module(const std::string& module_path, const std::vector<std::string>& trusted);

// The file name that a remote module is served under ("" when none), and
// the folder URL it is served from (up to and including the last "/").
std::string remote_file_name(const std::string& url);
std::string remote_folder(const std::string& url);

// True when `path` lies inside `folder` (which ends in a separator): "\" and
// "/" are the same separator; Windows compares without regard to case.
bool is_inside(const std::string& path, const std::string& folder);

}  // namespace activex
