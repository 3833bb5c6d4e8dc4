// A store damaged under the agent (one flipped byte, or a body that no longer
// unseals) loses its keys with it; the protections that read them fail
// closed: pushes are checked under a key no sender holds, modules find no
// ModuleSignKey, and no downgrade survives the damage.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "interface/config_access.h"
#include "interface/trust_settings.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/settings.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"
#include "support/file_bytes.h"
#include "tests/fakes/assistant_home.h"
#include "tests/siblings/config_store/real_modules.h"

namespace {

using communicate::Kind;
using communicate::Verdict;

TEST(DamagedStore, KeepsRefusingUntaggedPushesAndUnverifiedModules) {
    ASSERT_NE(nullptr, quarn::test::real_store().write);
    const quarn::test::AssistantHome home;
    ASSERT_EQ(1, Call_TarnWriteConfig("CryptKey", "device-key"));
    ASSERT_EQ(1, Call_TarnWriteConfig(kModuleSignKeyName, "public-key"));
    ASSERT_EQ("device-key", communicate::configured_push_key());

    const std::string path = home.path(config_store::kStoreFileName);
    std::string bytes = quarn::test::read_file(path);
    ASSERT_FALSE(bytes.empty());
    bytes[bytes.size() - 5] ^= 0x01;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

    // What an attacker sends once the key is gone: an untagged push.
    const auto push = communicate::make_datagrams(
        Kind::kPush, 1, "<TARN><WhatToDo>OpenNewUrl</WhatToDo></TARN>", "");
    communicate::Fragment fragment;
    const std::string key = communicate::configured_push_key();
    EXPECT_FALSE(key.empty());
    EXPECT_NE("device-key", key);
    EXPECT_EQ(Verdict::kUntagged,
              communicate::read_datagram(push[0].data(), push[0].size(), key, &fragment));
    EXPECT_EQ("", config_value(kModuleSignKeyName));
    EXPECT_FALSE(security_downgraded());

    // Only the explicit downgrade takes pushes untagged again.
    ASSERT_EQ(1, Call_TarnWriteConfig(kSecurityDowngradeName, "1"));
    EXPECT_EQ("", communicate::configured_push_key());
}

}  // namespace
