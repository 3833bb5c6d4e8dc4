// The signed module manifest of the download directory, which the agent's
// module-call component checks a fetched module against: every module
// (".dll") of the folder with its SHA-256, signed with the scenario's signing
// key by the component's own writer. Files are hashed again only when their
// size or time changed, so a rebuilt plug-in is listed as it is. The version
// is the clock's seconds when the listing last changed (one more than the
// last version when the clock has not moved on), so it only ever grows, also
// across restarts of the simulator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "os/crypto.h"

namespace simulator {

class DownloadManifest {
  public:
    DownloadManifest(std::string folder, const os::EcdsaPrivateKey& key)
        : folder_(std::move(folder)), key_(key) {}

    // The manifest text as the folder stands now; empty when it cannot be made.
    std::string text();
    std::uint64_t version() const { return version_; }

  private:
    struct Hashed {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        os::Sha256Digest digest{};
    };

    std::mutex mutex_;
    std::string folder_;
    os::EcdsaPrivateKey key_;
    std::map<std::string, Hashed> hashed_;
    std::string listing_;  // what the current version lists
    std::string signed_;   // the text of the current version
    std::uint64_t version_ = 0;
};

}  // namespace simulator
