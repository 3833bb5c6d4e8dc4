// The manifest of a download directory: which modules the server offers and
// their SHA-256 digests, authenticated with HMAC-SHA256 under the configured
// CryptKey. docs/module_downloads.md gives the format.
//
//   QUARN-MODULE-MANIFEST 1
//   <64 hex digits>  <file name>
//   ...
//   HMAC-SHA256 <64 hex digits>
//
// The tag covers every byte before its own line, header and line ends
// included. Lines end in "\n" ("\r\n" is read too; the tag covers the bytes
// as they are).
#pragma once

#include <string>
#include <vector>

#include "os/crypto.h"

namespace activex {

inline constexpr char kManifestName[] = "QuarnModules.manifest";

struct ManifestEntry {
    std::string name;
    os::Sha256Digest digest{};
};

enum class ManifestCheck {
    kValid,
    kMalformed,  // not a manifest of this format
    kBadTag,     // the tag does not match the key
    kNotListed,  // the module is not in it
    kMismatch,   // the module's digest differs from the listed one
};

// A short Chinese description of a refusal, for traces and result texts.
const char* manifest_check_text(ManifestCheck check);

// The manifest text of `entries` tagged under `key`. Empty when a name is
// empty or holds a line break, a separator or leading/trailing blanks.
std::string manifest_text(const std::vector<ManifestEntry>& entries, const std::string& key);

// Checks the tag of `text` under `key` and that `name` is listed once;
// kValid with the digest the manifest gives it in *listed.
ManifestCheck listed_digest(const std::string& text, const std::string& key,
                            const std::string& name, os::Sha256Digest* listed);

// Checks the tag of `text` under `key`, then that `name` is listed (names
// compare without regard to ASCII case, as Windows file names) with `digest`.
ManifestCheck check_manifest(const std::string& text, const std::string& key,
                             const std::string& name, const os::Sha256Digest& digest);

}  // namespace activex
