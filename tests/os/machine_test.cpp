// Machine facts the check-item plug-ins read.
#include "os/machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "os/module.h"
#include "os/process.h"
#include "os/system.h"
#include "os/time.h"
#include "support/helper_process.h"
#include "support/system_tool.h"

namespace {

using quarn::test::spawn_helper;
using quarn::test::wait_helper;

std::string executable_name() {
    char path[1024];
    os::module_executable_path(path, sizeof path);
    const std::string full = path;
    return full.substr(full.find_last_of("\\/") + 1);
}

long count_named(const std::string& name) {
    std::vector<std::string> names;
    EXPECT_TRUE(os::process_names(&names));
    return std::count(names.begin(), names.end(), name);
}

TEST(Machine, ProcessNamesFollowAProcessFromStartToEnd) {
    const std::string self = executable_name();
    const long before = count_named(self);
    EXPECT_GE(before, 1) << "the test program itself, by its file name";
    os::Handle helper = spawn_helper("linger");  // a second process of the same name
    ASSERT_NE(nullptr, helper);
    long during = before;
    for (int i = 0; i < 200 && during == before; ++i, os::sleep_ms(10)) during = count_named(self);
    EXPECT_EQ(before + 1, during);
    os::process_terminate(helper, 0);
    wait_helper(helper);
    EXPECT_EQ(before, count_named(self));
}

TEST(Machine, SystemReleaseIsTheKernelsOrTheSystemsVersion) {
    std::string release;
    ASSERT_TRUE(os::system_release(&release));
#ifdef _WIN32
    EXPECT_TRUE(std::regex_match(release, std::regex("([5-9]|[1-9][0-9])\\.\\d+\\.\\d+")))
        << release;
#else
    std::string kernel;
    std::getline(std::ifstream("/proc/sys/kernel/osrelease"), kernel);
    EXPECT_EQ(kernel, release);
#endif
}

#ifdef _WIN32
// Runs the system's reg.exe; its exit code, -1 on failure.
int reg(std::vector<const char*> arguments) {
    return quarn::test::run_system_tool("reg.exe", std::move(arguments));
}

TEST(Machine, RegistryValuesByKind) {
    const std::string subkey = "Software\\QuarnOsTest" + std::to_string(os::process_id());
    const std::string key = "HKCU\\" + subkey;
    ASSERT_EQ(0, reg({"add", key.c_str(), "/v", "Text", "/d", "甲乙", "/f"}));
    ASSERT_EQ(0, reg({"add", key.c_str(), "/ve", "/t", "REG_EXPAND_SZ", "/d", "%PATH%", "/f"}));
    ASSERT_EQ(
        0, reg({"add", key.c_str(), "/v", "Number", "/t", "REG_DWORD", "/d", "4294967295", "/f"}));
    ASSERT_EQ(0, reg({"add", key.c_str(), "/v", "Blob", "/t", "REG_BINARY", "/d", "01", "/f"}));

    struct Case {
        const char* value_name;
        os::RegistryRead read;
        os::RegistryKind kind;
        const char* text;
        std::uint64_t number;
    };
    const Case cases[] = {
        {"Text", os::RegistryRead::kFound, os::RegistryKind::kText, "甲乙", 0},
        {"", os::RegistryRead::kFound, os::RegistryKind::kText, "%PATH%", 0},  // not expanded
        {"Number", os::RegistryRead::kFound, os::RegistryKind::kNumber, "", 4294967295u},
        {"Blob", os::RegistryRead::kFound, os::RegistryKind::kOther, "", 0},
        {"Absent", os::RegistryRead::kValueMissing, os::RegistryKind::kOther, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value_name);
        os::RegistryValue value;
        ASSERT_EQ(c.read, os::registry_read(os::RegistryRoot::kCurrentUser, subkey.c_str(),
                                            c.value_name, &value));
        EXPECT_EQ(c.kind, value.kind);
        EXPECT_EQ(c.text, value.text);
        EXPECT_EQ(c.number, value.number);
    }
    EXPECT_EQ(os::RegistryRead::kFound,
              os::registry_read(os::RegistryRoot::kCurrentUser, subkey.c_str(), nullptr, nullptr));
    EXPECT_EQ(0, reg({"delete", key.c_str(), "/f"}));
    EXPECT_EQ(os::RegistryRead::kKeyMissing,
              os::registry_read(os::RegistryRoot::kCurrentUser, subkey.c_str(), nullptr, nullptr));
}
#else
TEST(Machine, ThereIsNoRegistry) {
    EXPECT_EQ(os::RegistryRead::kUnsupported,
              os::registry_read(os::RegistryRoot::kLocalMachine, "SOFTWARE", nullptr, nullptr));
}
#endif

}  // namespace
