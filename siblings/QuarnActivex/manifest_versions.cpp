#include "siblings/QuarnActivex/manifest_versions.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "os/data_protection.h"

namespace activex {
namespace {

constexpr std::size_t kFileLimit = 1 << 20;

std::map<std::string, std::uint64_t> parse(const std::string& text) {
    std::map<std::string, std::uint64_t> versions;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0) {
            versions[line.substr(tab + 1)] = std::strtoull(line.c_str(), nullptr, 10);
        }
        start = end + 1;
    }
    return versions;
}

}  // namespace

bool accept_manifest_version(const std::string& cache, const std::string& folder_url,
                             std::uint64_t version) {
    // One writer at a time in the process; the agent's downloads all run in
    // the assistant's process.
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const std::string path = cache + kVersionsFileName;
    std::string text;
    if (!os::file_read_all(path.c_str(), kFileLimit, &text)) text.clear();
    std::map<std::string, std::uint64_t> versions = parse(text);
    std::uint64_t& highest = versions[folder_url];
    if (version < highest) return false;
    if (version == highest) return true;
    highest = version;
    std::string out;
    for (const auto& [folder, accepted] : versions) {
        if (folder.find('\n') != std::string::npos) continue;
        out += std::to_string(accepted) + "\t" + folder + "\n";
    }
    return os::file_replace_durably(path.c_str(), out.data(), out.size());
}

}  // namespace activex
