// The highest manifest version accepted from each download directory, so that
// an older manifest (and the older modules it lists) is refused even when its
// signature is valid. Kept in "<download cache>ManifestVersions.txt", one line
// per folder: the version, a tab, the folder's address.
#pragma once

#include <cstdint>
#include <string>

namespace activex {

inline constexpr char kVersionsFileName[] = "ManifestVersions.txt";

// True when `version` is at least the highest accepted from `folder_url`;
// a higher one is then recorded. `cache` is the download cache folder (with
// its separator). False as well when a higher version cannot be recorded.
bool accept_manifest_version(const std::string& cache, const std::string& folder_url,
                             std::uint64_t version);

}  // namespace activex
