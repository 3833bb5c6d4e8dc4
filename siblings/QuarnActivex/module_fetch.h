// Remote modules: fetched through the HTTP client module into the download
// cache of the assistant directory, verified, and kept under a name that
// carries their SHA-256 ("QuarnCheckFile-<64 hex>.dll"), so that a new
// version arrives beside one that is still loaded (Windows locks a loaded
// module's file).
#pragma once

#include <string>

namespace activex {

// The cache folder inside the assistant directory.
inline constexpr char kCacheFolder[] = "ModuleCache";

// "<assistant directory>ModuleCache\" (with its separator).
std::string cache_folder();

struct Fetched {
    bool ok = false;
    bool refused = false;  // downloaded, but failed verification
    std::string path;      // ok: the cached module to load
    std::string why;       // otherwise: what went wrong, for the caller's trace
};

// Fetches `url`, verifies it (the manifest of the URL's folder must be signed
// by ModuleSignKey, no older than one accepted before, and list the module
// with its digest) and caches it. Without ModuleSignKey the module is refused,
// or loaded after a warning when SecurityDowngrade is set.
Fetched fetch_module(const std::string& url);

}  // namespace activex
