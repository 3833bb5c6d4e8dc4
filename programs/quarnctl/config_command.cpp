// quarnctl config: read, write and list the configuration store through the
// configuration module itself, so the tool sees and changes exactly what the
// agent does (same file, same lock, same sealing).
#include <cstdio>
#include <cstring>
#include <string>

#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/text.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "siblings/QuarnAssConfigMgr/config_listing.h"

namespace quarnctl {
namespace {

// The module beside quarnctl first (an installed assistant keeps both in its
// folder), else the one in the assistant directory.
os::Handle load_sibling(const char* file_name) {
    char own[kPathSize] = "";
    const std::size_t length = os::module_executable_path(own, sizeof own);
    std::string folder(own, length < sizeof own ? length : 0);
    const std::size_t separator = folder.find_last_of("\\/");
    folder = separator == std::string::npos ? "" : folder.substr(0, separator + 1);
    if (os::Handle module = os::module_load((folder + file_name).c_str())) return module;
    char assistant[kPathSize] = "";
    if (!gateway::assistant_file_path(file_name, assistant)) return nullptr;
    return os::module_load(assistant);
}

bool valid_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead < 0x80    ? 0
                                  : lead >= 0xF0 ? 3
                                  : lead >= 0xE0 ? 2
                                  : lead >= 0xC2 ? 1
                                                 : 9;
        if (extra == 9 || extra > text.size() - i - 1) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

// Arguments are taken as UTF-8 (a terminal's text) when they are, otherwise
// as the GBK the store holds (a Chinese Windows console).
std::string store_text(const char* argument) {
    const std::string text(argument);
    return valid_utf8(text) ? os::utf8_to_gbk(text.data(), text.size()) : text;
}

// A value with line breaks is shown one line under another, indented.
void print_entry(const std::string& key, const std::string& value) {
    if (value.find('\n') == std::string::npos) {
        std::printf("%s = %s\n", printable(key).c_str(), printable(value).c_str());
        return;
    }
    std::printf("%s =\n", printable(key).c_str());
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find('\n', start);
        if (end == std::string::npos) end = value.size();
        std::string line = value.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::printf("    %s\n", printable(line).c_str());
        start = end + 1;
    }
}

int usage_error() {
    const Command* self = find_command("config");
    if (self != nullptr) std::fputs(self->usage, stderr);
    return 2;
}

}  // namespace

int run_config(int argc, char** argv) {
    const std::string verb = argc > 0 ? argv[0] : "";
    const bool known = (verb == "get" && argc == 2) || (verb == "set" && argc == 3) ||
                       (verb == "list" && argc == 1);
    if (!known) return usage_error();
    os::Handle module = load_sibling(sibling::kConfigMgrDll);
    if (module == nullptr) {
        std::fprintf(stderr, "quarnctl config: cannot load %s\n", sibling::kConfigMgrDll);
        return 1;
    }
    if (verb == "set") {
        const auto write = reinterpret_cast<sibling::TarnWriteConfigFunction>(
            os::module_symbol(module, sibling::kTarnWriteConfigName));
        if (write == nullptr ||
            write(store_text(argv[1]).c_str(), store_text(argv[2]).c_str()) == 0) {
            std::fprintf(stderr, "quarnctl config: %s was not stored\n", argv[1]);
            return 1;
        }
        return 0;
    }
    char* block = nullptr;
    int found = 0;
    if (verb == "get") {
        const auto read = reinterpret_cast<sibling::TarnReadConfigFunction>(
            os::module_symbol(module, sibling::kTarnReadConfigName));
        found = read != nullptr ? read(store_text(argv[1]).c_str(), &block) : 0;
    } else {
        const auto list = reinterpret_cast<config_store::ListConfigFunction>(
            os::module_symbol(module, config_store::kListConfigName));
        found = list != nullptr ? list(&block) : 0;
    }
    const std::string text = found != 0 && block != nullptr ? block : "";
    if (block != nullptr) os::global_free(block);
    if (found == 0) {
        std::fprintf(stderr, "quarnctl config: %s\n",
                     verb == "get" ? "no such key" : "the store cannot be listed");
        return 1;
    }
    if (verb == "get") {
        const std::string utf8 = os::gbk_to_utf8(text.data(), text.size());
        std::printf("%s\n", utf8.c_str());
        return 0;
    }
    config_store::Values values;
    if (!config_store::decode_listing(text, &values)) {
        std::fprintf(stderr, "quarnctl config: the module's listing does not parse\n");
        return 1;
    }
    for (const auto& entry : values) print_entry(entry.first, entry.second);
    return 0;
}

}  // namespace quarnctl
