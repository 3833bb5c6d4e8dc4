#include "os/system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "os/process.h"
#include "os/session.h"

namespace {

TEST(System, VersionIsReported) {
    os::OsVersion version;
    ASSERT_TRUE(os::os_version(&version));
    EXPECT_GE(version.major, 5u);
#ifndef _WIN32
    EXPECT_EQ(6u, version.major);
    EXPECT_EQ(1u, version.minor);
#endif
}

#ifndef _WIN32
TEST(System, IpTtlIsNeverChangedOnThisPlatform) {
    EXPECT_FALSE(os::set_ip_ttl(200));
}

// An unset APPDATA is the user's data folder; a set one wins.
TEST(System, AppdataDefaultsToTheUserDataFolder) {
    const struct {
        const char* appdata;  // null: unset
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {nullptr, "/x/data", "/h", "/x/data"},
        {nullptr, "relative", "/h/", "/h/.local/share"},  // only an absolute XDG folder counts
        {nullptr, nullptr, "/h", "/h/.local/share"},
        {"/set", "/x/data", "/h", "/set"},
    };
    std::string saved[3];
    const char* names[] = {"APPDATA", "XDG_DATA_HOME", "HOME"};
    for (int i = 0; i < 3; ++i) {
        char value[1024] = "";
        if (os::env_get(names[i], value, sizeof value) > 0) saved[i] = value;
    }
    for (const auto& c : cases) {
        os::env_set("APPDATA", c.appdata);
        os::env_set("XDG_DATA_HOME", c.xdg);
        os::env_set("HOME", c.home);
        char value[256] = "";
        os::env_get("APPDATA", value, sizeof value);
        EXPECT_STREQ(c.expected, value);
    }
    for (int i = 0; i < 3; ++i)
        os::env_set(names[i], saved[i].empty() ? nullptr : saved[i].c_str());
}

// A registration that holds the same entry is not written again; one with
// another command of the same length replaces it.
TEST(System, AutostartRegisteredAgainHoldsTheLastCommand) {
    const std::string folder =
        testing::TempDir() + "quarn-autostart-" + std::to_string(os::process_id());
    char saved[1024] = "";
    const bool had = os::env_get("XDG_CONFIG_HOME", saved, sizeof saved) > 0;
    os::env_set("XDG_CONFIG_HOME", folder.c_str());
    for (const char* argument : {"-first", "-first", "-after"}) {
        ASSERT_TRUE(os::autostart_register("QuarnOsTest", "/opt/q/TarnAssistant.exe", argument));
        EXPECT_NE(std::string::npos, os::autostart_command("QuarnOsTest").find(argument));
    }
    EXPECT_TRUE(os::autostart_remove("QuarnOsTest"));
    os::env_set("XDG_CONFIG_HOME", had ? saved : nullptr);
    std::filesystem::remove_all(folder);
}
#endif

TEST(System, EnvironmentSetGetAndUnset) {
    ASSERT_TRUE(os::env_set("QUARN_OS_TEST", "value"));
    char value[16];
    EXPECT_EQ(5u, os::env_get("QUARN_OS_TEST", value, sizeof value));
    EXPECT_STREQ("value", value);
    char small[3];
    EXPECT_EQ(6u, os::env_get("QUARN_OS_TEST", small, sizeof small)) << "the size it needs";
    ASSERT_TRUE(os::env_set("QUARN_OS_TEST", nullptr));
    EXPECT_EQ(0u, os::env_get("QUARN_OS_TEST", value, sizeof value));
}

TEST(System, ExpandReplacesKnownNamesAndKeepsUnknownOnes) {
    ASSERT_TRUE(os::env_set("QUARN_OS_DIR", "C:\\Data"));
    char text[128];
    const std::size_t length =
        os::env_expand("%QUARN_OS_DIR%\\Quarn %QUARN_OS_UNSET% 100%", text, sizeof text);
    EXPECT_STREQ("C:\\Data\\Quarn %QUARN_OS_UNSET% 100%", text);
    EXPECT_EQ(std::strlen(text) + 1, length) << "length with the terminator";
    char small[4];
    EXPECT_EQ(length,
              os::env_expand("%QUARN_OS_DIR%\\Quarn %QUARN_OS_UNSET% 100%", small, sizeof small));
    os::env_set("QUARN_OS_DIR", nullptr);
}

TEST(System, SystemDirectoryIsAFolder) {
    char folder[512];
    const std::size_t length = os::system_directory(folder, sizeof folder);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::strlen(folder));
#ifndef _WIN32
    ASSERT_TRUE(os::env_set("QUARN_SYSTEM_DIR", "/opt/quarn/system32"));
    EXPECT_EQ(19u, os::system_directory(folder, sizeof folder));
    EXPECT_STREQ("/opt/quarn/system32", folder);
    os::env_set("QUARN_SYSTEM_DIR", nullptr);
#endif
}

}  // namespace
