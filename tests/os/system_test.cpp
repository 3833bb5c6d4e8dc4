#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/system.h"

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
TEST(System, IpTtlIsNeverChangedOnThisPlatform) { EXPECT_FALSE(os::set_ip_ttl(200)); }
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
    EXPECT_EQ(length, os::env_expand("%QUARN_OS_DIR%\\Quarn %QUARN_OS_UNSET% 100%", small,
                                     sizeof small));
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
