// The configuration store through its real module and its library: values
// byte for byte, damage recovered, secrets at rest, the library's gateway.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "interface/config_access.h"
#include "interface/user_log.h"
#include "os/data_protection.h"
#include "os/memory.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"
#include "support/file_bytes.h"
#include "tests/fakes/assistant_home.h"
#include "tests/siblings/config_store/real_modules.h"

namespace {

using config_store::ConfigStore;
using quarn::test::AssistantHome;
using quarn::test::real_store;

// Reads through the module, as every caller does.
bool module_read(const char* key, std::string* value) {
    char* block = nullptr;
    if (real_store().read(key, &block) == 0) return false;
    *value = block;
    os::global_free(block);
    return true;
}

void overwrite(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(nullptr, real_store().write); }
    AssistantHome home_;
};

struct RoundTrip {
    const char* name;
    std::string key;
    std::string value;
};

class StoreRoundTrip : public StoreTest, public ::testing::WithParamInterface<RoundTrip> {};

// Written through the module, read back through it and by a store that only
// knows the file.
TEST_P(StoreRoundTrip, ValueComesBackByteForByte) {
    const RoundTrip& row = GetParam();
    ASSERT_EQ(1, real_store().write(row.key.c_str(), row.value.c_str()));
    std::string through_module;
    ASSERT_TRUE(module_read(row.key.c_str(), &through_module));
    EXPECT_EQ(row.value, through_module);
    ConfigStore from_file(home_.dir());
    std::string from_disk;
    ASSERT_TRUE(from_file.read(row.key, &from_disk));
    EXPECT_EQ(row.value, from_disk);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoreRoundTrip,
    ::testing::Values(
        RoundTrip{"Gbk", "LinkName", "\xC8\xEB\xCD\xF8\xD0\xA1\xD6\xFA\xCA\xD6\xA3\xAC\xA1\xA1"},
        RoundTrip{"CrLf", "AboutMessage", "line one\r\nline two\r\n\r\n"},
        RoundTrip{"XmlDocument", "UserSwitchInfo",
                  "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<TARN><User><Name>YQ==</Name>"
                  "<Pass>&lt;b&gt;</Pass></User></TARN>"},
        RoundTrip{"Empty", "AuthTime", ""},
        RoundTrip{"Long", "SecurityCheckPolicy", std::string(3u << 20, 'x') + "\xB0\xA1"},
        RoundTrip{"GbkKey", "\xC5\xE4\xD6\xC3", "1"}),
    [](const ::testing::TestParamInfo<RoundTrip>& row) { return row.param.name; });

TEST_F(StoreTest, KeysMatchExactlyAndMissingKeysAreNotFound) {
    ASSERT_EQ(1, real_store().write("CheckResult", "success"));
    std::string value;
    EXPECT_FALSE(module_read("checkresult", &value));
    EXPECT_FALSE(module_read("CheckResult ", &value));
    EXPECT_EQ(0, real_store().read(nullptr, nullptr));
    EXPECT_EQ(0, real_store().write("CheckResult", nullptr));
}

// Another process's write shows in a store that read the key before.
TEST_F(StoreTest, ReadsFollowAnotherWriter) {
    ConfigStore ours(home_.dir());
    ConfigStore theirs(home_.dir());
    std::string value;
    EXPECT_FALSE(ours.read("RoleId", &value));
    ASSERT_TRUE(theirs.write("RoleId", "3"));
    ASSERT_TRUE(ours.read("RoleId", &value));
    EXPECT_EQ("3", value);
    ASSERT_TRUE(ours.write("PolicyId", "7"));
    ASSERT_TRUE(theirs.write("RoleId", "4"));
    config_store::Values all;
    ASSERT_TRUE(ours.snapshot(&all));
    EXPECT_EQ((config_store::Values{{"PolicyId", "7"}, {"RoleId", "4"}}), all);
    // The value it holds again: done, no new version. Any other: a new one.
    const auto generation = [this] {
        const std::string bytes = quarn::test::read_file(home_.path(config_store::kStoreFileName));
        std::uint64_t found = 0;
        EXPECT_TRUE(config_store::peek_generation(bytes.data(), bytes.size(), &found));
        return found;
    };
    const std::uint64_t before = generation();
    ASSERT_TRUE(ours.write("RoleId", "4"));
    EXPECT_EQ(before, generation());
    ASSERT_TRUE(ours.write("RoleId", "5"));
    EXPECT_LT(before, generation());
}

struct Damage {
    const char* name;
    std::string (*spoil)(const std::string& bytes);
};

class StoreDamage : public StoreTest, public ::testing::WithParamInterface<Damage> {};

// A store that does not open is kept aside as it was; the store starts empty
// and takes writes again.
TEST_P(StoreDamage, IsSetAsideAndTheStoreStartsEmpty) {
    const std::string path = home_.path(config_store::kStoreFileName);
    {
        ConfigStore writer(home_.dir());
        ASSERT_TRUE(writer.write("DeviceId", "42"));
        ASSERT_TRUE(writer.write("WebUrl", "http://10.0.0.1"));
    }
    const std::string damaged = GetParam().spoil(quarn::test::read_file(path));
    overwrite(path, damaged);

    ConfigStore store(home_.dir());
    std::string value;
    EXPECT_FALSE(store.read("DeviceId", &value));
    EXPECT_EQ(damaged, quarn::test::read_file(path + config_store::kDamagedSuffix));
    ASSERT_TRUE(store.write("DeviceId", "43"));
    ConfigStore reopened(home_.dir());
    ASSERT_TRUE(reopened.read("DeviceId", &value));
    EXPECT_EQ("43", value);
    EXPECT_FALSE(reopened.read("WebUrl", &value));
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoreDamage,
    ::testing::Values(
        Damage{"Truncated", [](const std::string& b) { return b.substr(0, b.size() / 2); }},
        Damage{"HeaderOnly", [](const std::string& b) { return b.substr(0, 10); }},
        Damage{"Garbage", [](const std::string& b) { return std::string(b.size(), '\x5A'); }},
        Damage{"FlippedByte",
               [](const std::string& b) {
                   std::string s = b;
                   s[s.size() - 40] ^= 0x01;
                   return s;
               }},
        Damage{"TrailingBytes", [](const std::string& b) { return b + "x"; }}),
    [](const ::testing::TestParamInfo<Damage>& row) { return row.param.name; });

// Sealed where the platform seals (Windows); owner-only files where it
// does not (POSIX).
TEST_F(StoreTest, PasswordIsNotLeftInClear) {
    const std::string secret = "Pa55-w0rd-in-clear";
    ASSERT_EQ(1, real_store().write("Password", secret.c_str()));
    const std::string path = home_.path(config_store::kStoreFileName);
    if (os::data_protection_encrypts()) {
        EXPECT_EQ(std::string::npos, quarn::test::read_file(path).find(secret));
    } else {
        namespace fs = std::filesystem;
        EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
                  fs::status(path).permissions() & fs::perms::all);
        EXPECT_EQ(fs::perms::owner_all, fs::status(home_.dir()).permissions() & fs::perms::all);
    }
}

// The library's own wrappers reach the real modules by name.
TEST_F(StoreTest, LibraryGatewayUsesTheRealModules) {
    ASSERT_EQ(0, real_store().init("", nullptr));
    ASSERT_NE(0, Call_TarnWriteConfig("IsAutoAuth", "Yes"));
    char* value = nullptr;
    ASSERT_NE(0, Call_TarnReadConfig("IsAutoAuth", &value));
    EXPECT_STREQ("Yes", value);
    os::global_free(value);
    ASSERT_NE(0, Call_TarnLogToFile("%s", "gateway line"));
    const std::string log = quarn::test::read_file(home_.path("TarnAssistant.log"));
    EXPECT_NE(std::string::npos, log.find("          gateway line\n")) << log;
}

}  // namespace
