// quarnctl config: read, write and list the configuration store through the
// configuration module itself, so the tool sees and changes exactly what the
// agent does (same file, same lock, same sealing).
#include <cstdio>
#include <cstring>
#include <string>

#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/terminal.h"
#include "os/text.h"
#include "programs/quarnctl/command.h"
#include "programs/quarnctl/display.h"
#include "programs/quarnctl/product_module.h"
#include "siblings/QuarnAssConfigMgr/config_listing.h"

namespace quarnctl {
namespace {

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
    os::Handle module = load_product_module(sibling::kConfigMgrDll);
    if (module == nullptr) {
        std::fprintf(stderr, "quarnctl config: cannot load %s\n", sibling::kConfigMgrDll);
        return 1;
    }
    if (verb == "set") {
        const auto write = reinterpret_cast<sibling::TarnWriteConfigFunction>(
            os::module_symbol(module, sibling::kTarnWriteConfigName));
        if (write == nullptr || write(os::argument_to_gbk(argv[1]).c_str(),
                                      os::argument_to_gbk(argv[2]).c_str()) == 0) {
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
        found = read != nullptr ? read(os::argument_to_gbk(argv[1]).c_str(), &block) : 0;
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
