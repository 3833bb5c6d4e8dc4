// The contract table and the modules that implement it cannot drift apart:
// every row's export is found, undecorated, in the module of that name.
#include "interface/sibling_abi.h"

#include <gtest/gtest.h>

#include <string>

#include "interface/gateway.h"
#include "os/module.h"
#include "tests/fakes/fake_module.h"

namespace {

using quarn::test::FakeModule;

std::string module_path(const char* module) {
    // The module-call component is the real one; every other sibling is a double.
    return std::string(module) == sibling::kActivexDll ? quarn::test::program_dir() + module
                                                       : quarn::test::fake_path(module);
}

TEST(SiblingAbi, EveryExportOfTheTableIsFoundInItsModule) {
    for (const sibling::ExportRow& row : sibling::kExportRows) {
        SCOPED_TRACE(std::string(row.module) + " " + row.name);
        const os::Handle module = os::module_load(module_path(row.module).c_str());
        ASSERT_NE(nullptr, module);
        EXPECT_NE(nullptr, os::module_symbol(module, row.name));
        os::module_free(module);
    }
}

int g_pushes = 0;
int count_push(XmlNode* command) {
    ++g_pushes;
    return command == reinterpret_cast<XmlNode*>(0x50) ? 1 : 0;
}

TEST(SiblingAbi, RegisteredCallbackReceivesThePushesOfTheCommunicationDouble) {
    FakeModule communicate(quarn::test::fake_path(sibling::kCommunicateDll));
    Call_SetPacketRecvCallBack(&count_push);
    using PushFunction = int (*)(XmlNode*);
    const auto push = reinterpret_cast<PushFunction>(communicate.symbol("QuarnFake_Push"));
    ASSERT_NE(nullptr, push);
    EXPECT_EQ(1, push(reinterpret_cast<XmlNode*>(0x50)));
    EXPECT_EQ(1, g_pushes);
}

}  // namespace
