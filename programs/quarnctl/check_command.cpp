// quarnctl check: runs the security check engine of the agent in this
// process on a stored policy, with the plug-ins of a folder, and explains
// its verdict.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/cached_entry_points.h"
#include "interface/sibling_abi.h"
#include "os/file.h"
#include "os/memory.h"
#include "programs/quarnctl/check_run.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/options.h"

namespace quarnctl {
namespace {

constexpr char kDefaultServer[] = "http://127.0.0.1";

// The configuration the engine reads, kept in this process instead of the
// configuration module of a running assistant.
std::map<std::string, std::string>& settings() {
    static std::map<std::string, std::string> values;
    return values;
}

int QUARN_CDECL read_setting(const char* key, char** value) {
    if (key == nullptr || value == nullptr) return 0;
    const auto found = settings().find(key);
    if (found == settings().end()) return 0;
    const std::string& text = found->second;
    auto* block = static_cast<char*>(os::global_alloc(text.size() + 1));
    if (block == nullptr) return 0;
    std::memcpy(block, text.c_str(), text.size() + 1);
    *value = block;
    return 1;
}

int QUARN_CDECL write_setting(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return 0;
    settings()[key] = value;
    return 1;
}

// The folder as a prefix of file names: with its trailing separator.
std::string as_folder(std::string dir) {
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') {
        dir += dir.find('/') != std::string::npos ? '/' : '\\';
    }
    return dir;
}

bool is_file(const std::string& path) {
    const std::uint32_t attributes = os::file_attributes(path.c_str());
    return attributes != os::kInvalidFileAttributes &&
           (attributes & os::kFileAttributeDirectory) == 0;
}

}  // namespace

int run_check(int argc, char** argv) {
    if (argc < 1 || std::strncmp(argv[0], "--", 2) == 0) {
        std::fprintf(stderr, "quarnctl check: which policy file? (see --help)\n");
        return 2;
    }
    const char* policy_file = argv[0];
    Options options;
    if (!options.parse("check", argc - 1, argv + 1, {{"--plugins", true}, {"--server", true}})) {
        return 2;
    }

    char assistant_dir[kPathSize];
    GetAssistantDir(assistant_dir);
    // Plug-ins are called through the module-call component, which the
    // agent loads from the assistant directory.
    const std::string component = std::string(assistant_dir) + sibling::kActivexDll;
    if (!is_file(component)) {
        std::fprintf(stderr, "quarnctl check: %s is missing\n", component.c_str());
        return 1;
    }
    XmlDocument policy(cutil_xml_import_from_file(policy_file, "quarnctl", "check", __LINE__));
    if (policy == nullptr) {
        std::fprintf(stderr, "quarnctl check: cannot read the policy %s\n", policy_file);
        return 1;
    }

    settings()["WebUrl"] = options.value_or("--server", kDefaultServer);
    settings()["ServerDownPath"] = as_folder(options.value_or("--plugins", assistant_dir));
    gateway::install_config_store(read_setting, write_setting);
    const CheckRun run = run_check_engine(policy.get());
    gateway::install_config_store(nullptr, nullptr);

    if (run.produced == 0) {
        std::fprintf(stderr,
                     "quarnctl check: the check produced no result (quarnctl trace shows why)\n");
        return 1;
    }
    print_check_report(run);
    return 0;
}

}  // namespace quarnctl
