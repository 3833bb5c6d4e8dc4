// quarnctl manifest: writes the manifest of a download directory, the file
// the module-call component checks a fetched module against.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "os/file.h"
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

// A new private key in `path` (which must not exist yet), readable by its
// owner only; prints the public key.
int new_key(const char* path) {
    std::error_code error;
    if (fs::exists(path, error)) {
        std::fprintf(stderr, "quarnctl manifest: %s exists; it is not replaced\n", path);
        return 1;
    }
    os::EcdsaPrivateKey key{};
    const std::string text = os::ecdsa_generate(key) ? activex::private_key_text(key) + "\n" : "";
    const os::Handle file = text.empty() ? nullptr : os::file_create_write_owner_only(path, 0);
    const bool written = file != nullptr && os::file_write(file, text.data(), text.size());
    if (file != nullptr) os::file_close(file);
    if (!written) {
        std::fprintf(stderr, "quarnctl manifest: cannot write %s\n", path);
        return 1;
    }
    std::printf("ModuleSignKey=%s\n", activex::public_key_text(os::ecdsa_public_of(key)).c_str());
    return 0;
}

bool read_private_key(const std::string& path, os::EcdsaPrivateKey* key) {
    std::stringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        text << in.rdbuf();
    }
    return activex::parse_private_key(text.str(), key);
}

}  // namespace

int run_manifest(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[0], "--new-key") == 0) return new_key(argv[1]);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr,
                     "quarnctl manifest: expected <folder> <private key file> [<version>] "
                     "(see --help)\n");
        return 2;
    }
    const fs::path folder = argv[0];
    os::EcdsaPrivateKey key{};
    if (!read_private_key(argv[1], &key)) {
        std::fprintf(stderr, "quarnctl manifest: %s holds no private key\n", argv[1]);
        return 2;
    }
    char* end = nullptr;
    const std::uint64_t version = argc == 3 ? std::strtoull(argv[2], &end, 10)
                                            : static_cast<std::uint64_t>(std::time(nullptr));
    if (version == 0 || (end != nullptr && *end != '\0')) {
        std::fprintf(stderr, "quarnctl manifest: the version must be a positive number\n");
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
    const std::string text = activex::manifest_text(entries, version, key);
    if (text.empty()) {
        std::fprintf(stderr, "quarnctl manifest: a file name cannot be listed or signed\n");
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
    std::printf("%s: %u modules, version %llu\n", target.string().c_str(),
                static_cast<unsigned>(entries.size()), static_cast<unsigned long long>(version));
    return 0;
}

}  // namespace quarnctl
