// quarnctl manifest: writes the manifest of a download directory, the file
// the module-call component checks a fetched module against. File access goes
// through the platform layer (no iostreams or std::filesystem: on Windows they
// would link a megabyte of the C++ runtime's locale code into the tool).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "os/data_protection.h"
#include "os/error.h"
#include "os/file.h"
#include "programs/quarnctl/command.h"
#include "siblings/QuarnActivex/manifest.h"

namespace quarnctl {
namespace {

// A module is read whole to be hashed; none comes near this.
constexpr std::size_t kModuleLimit = 256u << 20;
constexpr std::size_t kKeyFileLimit = 64u << 10;

std::string joined(const std::string& folder, const char* name) {
    const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return separated ? folder + name : folder + "/" + name;
}

bool hash_file(const std::string& path, os::Sha256Digest* digest) {
    std::string bytes;
    return os::file_read_all(path.c_str(), kModuleLimit, &bytes) &&
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
    if (os::file_attributes(path) != os::kInvalidFileAttributes) {
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
    std::string text;
    if (path == "-") {
        char block[4096];
        std::size_t got = 0;
        while (text.size() < kKeyFileLimit && (got = std::fread(block, 1, sizeof block, stdin)) > 0)
            text.append(block, got);
    } else if (!os::file_read_all(path.c_str(), kKeyFileLimit, &text)) {
        return false;
    }
    return activex::parse_private_key(text, key);
}

struct Listing {
    std::vector<std::string> files;
};

void collect_file(void* context, const os::FolderEntry& entry) {
    if (!entry.is_folder && !entry.is_link && offered(entry.name))
        static_cast<Listing*>(context)->files.emplace_back(entry.name);
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
    const std::string folder = argv[0];
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

    Listing listing;
    if (!os::folder_list(folder.c_str(), collect_file, &listing)) {
        std::fprintf(stderr, "quarnctl manifest: cannot list %s (error %u)\n", folder.c_str(),
                     static_cast<unsigned>(os::last_error()));
        return 1;
    }
    std::vector<activex::ManifestEntry> entries;
    for (const std::string& name : listing.files) {
        activex::ManifestEntry listed{name, {}};
        if (!hash_file(joined(folder, name.c_str()), &listed.digest)) {
            std::fprintf(stderr, "quarnctl manifest: cannot read %s\n",
                         joined(folder, name.c_str()).c_str());
            return 1;
        }
        entries.push_back(listed);
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
    // The manifest is served to every endpoint: it keeps the usual
    // permissions of a new file (file_replace_durably would make it owner-only).
    const std::string target = joined(folder, activex::kManifestName);
    const std::string temporary = target + ".tmp";
    const os::Handle file = os::file_create_write(temporary.c_str(), 0);
    const bool written = file != nullptr && os::file_write(file, text.data(), text.size());
    if (file != nullptr) os::file_close(file);
    if (!written) {
        std::fprintf(stderr, "quarnctl manifest: cannot write %s\n", temporary.c_str());
        return 1;
    }
    if (!os::file_rename_replacing(temporary.c_str(), target.c_str())) {
        os::file_delete(temporary.c_str());
        std::fprintf(stderr, "quarnctl manifest: cannot replace %s\n", target.c_str());
        return 1;
    }
    std::printf("%s: %u modules, version %llu\n", target.c_str(),
                static_cast<unsigned>(entries.size()), static_cast<unsigned long long>(version));
    return 0;
}

}  // namespace quarnctl
