// The product's export table: every name of its .def resolves undecorated,
// as the assistant binds them with GetProcAddress.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "os/module.h"
#include "tests/fakes/fake_module.h"

namespace {

TEST(ProductExports, StartUpEntryPointsResolveByTheirPlainNames) {
    const os::Handle product =
        os::module_load((quarn::test::program_dir() + "QuarnAssAutoCheck.dll").c_str());
    ASSERT_NE(nullptr, product);
    for (const char* name : {"Init", "Start"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(nullptr, os::module_symbol(product, name));
    }
    EXPECT_EQ(nullptr, os::module_symbol(product, "Init@8"));
    EXPECT_EQ(nullptr, os::module_symbol(product, "_Init@8"));
    // Nothing of the library's inside leaks out.
    EXPECT_EQ(nullptr, os::module_symbol(product, "GetAssistantDir"));
    EXPECT_EQ(nullptr, os::module_symbol(product, "LogTrace"));
    os::module_free(product);
}

}  // namespace
