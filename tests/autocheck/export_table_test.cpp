// The product's exports called as the assistant process calls them: looked
// up by their plain names in the loaded module and called, many times over,
// through pointers of their declared calling conventions. On i386 a callee
// that cleans up a different number of bytes than the caller expects moves
// the stack on every call, which a few hundred calls turn into a crash.
#include <gtest/gtest.h>

#include <cstdint>

#include "interface/sibling_abi.h"
#include "os/compiler.h"
#include "os/memory.h"
#include "os/module.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;

constexpr int kCalls = 300;
constexpr int kAllCallsReturned = 42;

using ReservedPair = int(QUARN_STDCALL*)(std::int32_t, std::int32_t);
using TextPair = int(QUARN_STDCALL*)(const char*, char**);
using Probe = int(QUARN_CDECL*)();
using Check = int(QUARN_CDECL*)(XmlNode*, XmlNode**, void*);

// Each export in an empty assistant directory: nothing to bind, no policy,
// no configuration; every call fails cleanly. Start is left out: it starts
// the agent's threads (its convention is Init's, and the table checks its
// name).
QUARN_TEST_HELPER(call_exports) {
    AssistantHome home;
    const os::Handle product = os::module_load((program_dir() + "QuarnAssAutoCheck.dll").c_str());
    if (product == nullptr) return 2;
    const auto init = reinterpret_cast<ReservedPair>(os::module_symbol(product, "Init"));
    const auto probe = reinterpret_cast<Probe>(os::module_symbol(product, "IsCanConnectToServer"));
    const auto check = reinterpret_cast<Check>(os::module_symbol(product, "DoSecurityCheck"));
    const char* const text_pairs[] = {"UserSwitchAddUser", "GetUserSwitchList", "SwitchUser"};
    // Once: each installation schedules its result file's deletion at restart.
    const auto install =
        reinterpret_cast<TextPair>(os::module_symbol(product, "InstallTarnAssistant"));
    char* install_error = nullptr;
    if (install == nullptr || install(nullptr, &install_error) != 0) return 6;
    os::global_free(install_error);
    if (init == nullptr || probe == nullptr || check == nullptr ||
        os::module_symbol(product, "Start") == nullptr) {
        return 3;
    }
    for (int i = 0; i < kCalls; ++i) {
        if (init(0, 0) != 0 || probe() != 1 || check(nullptr, nullptr, nullptr) != 0) return 4;
        for (const char* name : text_pairs) {
            const auto call = reinterpret_cast<TextPair>(os::module_symbol(product, name));
            if (call == nullptr) return 5;
            char* text = nullptr;
            call(nullptr, &text);
            os::global_free(text);
        }
    }
    return kAllCallsReturned;
}

TEST(ExportTable, EveryExportReturnsThroughItsDeclaredConvention) {
    EXPECT_EQ(kAllCallsReturned, wait_helper(spawn_helper("call_exports"), 120000));
}

}  // namespace
