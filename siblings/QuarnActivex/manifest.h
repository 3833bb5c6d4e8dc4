// The manifest of a download directory: which modules the server offers, their
// SHA-256 digests and the manifest's version, signed with the server's ECDSA
// P-256 key (ModuleSignKey holds the public half on endpoints).
// docs/module_downloads.md gives the format.
//
//   QUARN-MODULE-MANIFEST 2
//   Version <decimal>
//   <64 hex digits>  <file name>
//   ...
//   ECDSA-P256-SHA256 <128 hex digits: r then s>
//
// The signature covers every byte before its own line, header and line ends
// included. Lines end in "\n" ("\r\n" is read too; the signature covers the
// bytes as they are).
#pragma once

#include <cstdint>
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
    kBadTag,     // the signature is not the server key's
    kNotListed,  // the module is not in it
    kMismatch,   // the module's digest differs from the listed one
    kOlder,      // older than a manifest already accepted from the same folder
};

// A short Chinese description of a refusal, for traces and result texts.
const char* manifest_check_text(ManifestCheck check);

// The manifest text of `entries` at `version` (1 or more) signed with `key`.
// Empty when a name is empty or holds a line break, a separator or
// leading/trailing blanks, or the key cannot sign.
std::string manifest_text(const std::vector<ManifestEntry>& entries, std::uint64_t version,
                          const os::EcdsaPrivateKey& key);

// Checks the signature of `text` under `key` and that `name` is listed once;
// kValid with the digest the manifest gives it in *listed and its version in
// *version.
ManifestCheck listed_digest(const std::string& text, const os::EcdsaPublicKey& key,
                            const std::string& name, os::Sha256Digest* listed,
                            std::uint64_t* version);

// Checks the signature of `text` under `key`, then that `name` is listed
// (names compare without regard to ASCII case, as Windows file names) with
// `digest`.
ManifestCheck check_manifest(const std::string& text, const os::EcdsaPublicKey& key,
                             const std::string& name, const os::Sha256Digest& digest);

// Keys as text: the public key (ModuleSignKey) is the Base64 of its 64 bytes,
// a private key file the Base64 of its 96 bytes on one line. Parsing ignores
// blanks and line ends around the text and fails on any other length.
std::string public_key_text(const os::EcdsaPublicKey& key);
std::string private_key_text(const os::EcdsaPrivateKey& key);
bool parse_public_key(const std::string& text, os::EcdsaPublicKey* key);
bool parse_private_key(const std::string& text, os::EcdsaPrivateKey* key);

}  // namespace activex
