// The signed module manifest of the download directory, which the agent's
// module-call component checks a fetched module against under CryptKey:
// every module (".dll") of the folder with its SHA-256, tagged with the
// scenario's key by the component's own writer. Files are hashed again only
// when their size or time changed, so a rebuilt plug-in is listed as it is.
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
    DownloadManifest(std::string folder, std::string key)
        : folder_(std::move(folder)), key_(std::move(key)) {}

    // The manifest text as the folder stands now; empty when it cannot be made.
    std::string text();

  private:
    struct Hashed {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        os::Sha256Digest digest{};
    };

    std::mutex mutex_;
    std::string folder_;
    std::string key_;
    std::map<std::string, Hashed> hashed_;
};

}  // namespace simulator
