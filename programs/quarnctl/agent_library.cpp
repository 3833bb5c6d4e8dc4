#include "programs/quarnctl/agent_library.h"

#include <cstdio>
#include <string>

#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"

namespace quarnctl {
namespace {

std::string folder_of(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

os::Handle agent_library(const char* command) {
    static os::Handle library = nullptr;
    if (library != nullptr) return library;
    char own[1024] = "";
    os::module_executable_path(own, sizeof own);
    char assistant_dir[kPathSize] = "";
    GetAssistantDir(assistant_dir);
    for (const std::string& folder : {folder_of(own), std::string(assistant_dir)}) {
        library = os::module_load((folder + sibling::kAutoCheckDll).c_str());
        if (library != nullptr) return library;
    }
    std::fprintf(stderr, "quarnctl %s: %s is neither beside quarnctl nor in %s\n", command,
                 sibling::kAutoCheckDll, assistant_dir);
    return nullptr;
}

}  // namespace

TextExport agent_export(const char* command, const char* name) {
    os::Handle library = agent_library(command);
    if (library == nullptr) return nullptr;
    auto function = reinterpret_cast<TextExport>(os::module_symbol(library, name));
    if (function == nullptr) {
        std::fprintf(stderr, "quarnctl %s: %s has no export %s\n", command, sibling::kAutoCheckDll,
                     name);
    }
    return function;
}

TextResult call_text_export(TextExport function, const char* request) {
    TextResult outcome;
    char* text = nullptr;
    outcome.result = function(request, &text);
    if (text != nullptr) {
        outcome.text = text;
        os::global_free(text);
    }
    return outcome;
}

}  // namespace quarnctl
