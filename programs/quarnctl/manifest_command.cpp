// quarnctl manifest: writes the manifest of a download directory, the file
// the module-call component checks a fetched module against.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "programs/quarnctl/command.h"
#include "siblings/QuarnActivex/manifest.h"

namespace quarnctl {
namespace {

namespace fs = std::filesystem;

bool hash_file(const fs::path& path, os::Sha256Digest* digest) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    return in.gcount() == static_cast<std::streamsize>(bytes.size()) &&
           os::sha256({{bytes.data(), bytes.size()}}, *digest);
}

// Temporary files of downloads and of this command are not offered.
bool offered(const std::string& name) {
    auto ends_with = [&name](const char* tail) {
        const std::size_t length = std::strlen(tail);
        return name.size() >= length && name.compare(name.size() - length, length, tail) == 0;
    };
    return name != activex::kManifestName && name[0] != '.' && !ends_with(".part") &&
           !ends_with(".download") && !ends_with(".tmp");
}

}  // namespace

int run_manifest(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "quarnctl manifest: expected <folder> <key> (see --help)\n");
        return 2;
    }
    const fs::path folder = argv[0];
    std::string key = argv[1];
    if (key == "-" && !std::getline(std::cin, key)) key.clear();
    if (key.empty()) {
        std::fprintf(stderr, "quarnctl manifest: the key is empty\n");
        return 2;
    }

    std::error_code error;
    std::vector<activex::ManifestEntry> entries;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || !offered(name)) continue;
        activex::ManifestEntry listed{name, {}};
        if (!hash_file(entry.path(), &listed.digest)) {
            std::fprintf(stderr, "quarnctl manifest: cannot read %s\n",
                         entry.path().string().c_str());
            return 1;
        }
        entries.push_back(listed);
    }
    if (error) {
        std::fprintf(stderr, "quarnctl manifest: cannot list %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    const std::string text = activex::manifest_text(entries, key);
    if (text.empty()) {
        std::fprintf(stderr, "quarnctl manifest: a file name cannot be listed\n");
        return 1;
    }

    // Written beside, then renamed over the old manifest: a download never
    // sees half a file.
    const fs::path target = folder / activex::kManifestName;
    const fs::path temporary = folder / (std::string(activex::kManifestName) + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "quarnctl manifest: cannot write %s\n",
                         temporary.string().c_str());
            return 1;
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        std::fprintf(stderr, "quarnctl manifest: cannot replace %s\n", target.string().c_str());
        return 1;
    }
    std::printf("%s: %u modules\n", target.string().c_str(), static_cast<unsigned>(entries.size()));
    return 0;
}

}  // namespace quarnctl
