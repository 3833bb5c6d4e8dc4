#include "programs/quarnctl/agent_library.h"

#include <cstdio>
#include <string>

#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "programs/quarnctl/product_module.h"

namespace quarnctl {
namespace {

os::Handle agent_library(const char* command) {
    static os::Handle library = nullptr;
    if (library == nullptr) library = load_product_module(sibling::kAutoCheckDll);
    if (library == nullptr) {
        std::fprintf(stderr,
                     "quarnctl %s: %s is neither beside quarnctl nor in the assistant directory\n",
                     command, sibling::kAutoCheckDll);
    }
    return library;
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
