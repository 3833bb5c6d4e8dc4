#include "programs/simulator/download_manifest.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "siblings/QuarnActivex/manifest.h"

namespace simulator {
namespace {

// Modules are what the agent loads through the component; the rest of the
// folder (programs, test programs) is never verified and would only be
// hashed for nothing.
bool is_module(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".dll" && path.filename().string()[0] != '.';
}

bool hash_file(const std::filesystem::path& path, os::Sha256Digest* digest) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    return file.good() || file.eof() ? os::sha256({{bytes.data(), bytes.size()}}, *digest) : false;
}

}  // namespace

std::string DownloadManifest::text() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::error_code error;
    std::vector<activex::ManifestEntry> entries;
    std::map<std::string, Hashed> seen;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        if (!entry.is_regular_file(error) || !is_module(entry.path())) continue;
        const std::string name = entry.path().filename().string();
        Hashed current;
        current.size = entry.file_size(error);
        current.time = entry.last_write_time(error);
        const auto known = hashed_.find(name);
        if (known != hashed_.end() && known->second.size == current.size &&
            known->second.time == current.time) {
            current.digest = known->second.digest;
        } else if (!hash_file(entry.path(), &current.digest)) {
            continue;  // being rewritten; listed once it can be read
        }
        seen[name] = current;
        entries.push_back({name, current.digest});
    }
    hashed_ = std::move(seen);
    // The writer's order: by name, so the text only changes with the files.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    std::string listing;
    for (const auto& entry : entries) listing += os::digest_hex(entry.digest) + entry.name + "\n";
    if (version_ == 0 || listing != listing_) {
        const auto now = static_cast<std::uint64_t>(std::time(nullptr));
        version_ = std::max(version_ + 1, now);
        listing_ = listing;
        signed_.clear();
    }
    // Signed once per version, as a server publishes one file: the same
    // bytes every time, which endpoints verify once.
    if (signed_.empty()) signed_ = activex::manifest_text(entries, version_, key_);
    return signed_;
}

}  // namespace simulator
