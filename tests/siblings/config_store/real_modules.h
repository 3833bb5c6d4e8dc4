// The real configuration and log modules, loaded once into the test program
// (and into each helper process) from the folder the program runs in, so the
// library's gateway finds them by name as it does in the assistant.
#pragma once

#include <string>

#include "interface/sibling_abi.h"
#include "os/module.h"
#include "tests/fakes/fake_module.h"

namespace quarn::test {

struct RealStore {
    sibling::TarnReadConfigFunction read = nullptr;
    sibling::TarnWriteConfigFunction write = nullptr;
    sibling::PluginFunction init = nullptr;
};

inline const RealStore& real_store() {
    static const RealStore store = [] {
        RealStore s;
        os::Handle module = os::module_load((program_dir() + sibling::kConfigMgrDll).c_str());
        os::module_load((program_dir() + sibling::kLogDll).c_str());
        if (module != nullptr) {
            s.read = reinterpret_cast<sibling::TarnReadConfigFunction>(
                os::module_symbol(module, sibling::kTarnReadConfigName));
            s.write = reinterpret_cast<sibling::TarnWriteConfigFunction>(
                os::module_symbol(module, sibling::kTarnWriteConfigName));
            s.init = reinterpret_cast<sibling::PluginFunction>(
                os::module_symbol(module, sibling::kInitName));
        }
        return s;
    }();
    return store;
}

}  // namespace quarn::test
