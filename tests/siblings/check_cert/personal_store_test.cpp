// Without a configured PKCS#11 module, Windows lists the personal store's
// certificates whose key lives on a hardware token: the test adds the known
// certificates to the current user's "MY" store, one with a key in a software
// container and one without a key. Neither is a USB key.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "os/certificate.h"
#include "tests/siblings/check_cert/key_fixture.h"

namespace {

using namespace quarn::test;

class PersonalStore : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(os::personal_store_add(der_of(kKnownCertificates[0]), "quarn-test-key"));
        ASSERT_TRUE(os::personal_store_add(der_of(kKnownCertificates[1]), nullptr));
    }
    void TearDown() override {
        for (const auto& known : kKnownCertificates) os::personal_store_remove(der_of(known));
    }
    CertModule module_;
};

TEST_F(PersonalStore, OnlyKeysOnAHardwareTokenCount) {
    // The software container's certificate has a private key, yet no token.
    std::vector<ListedCertificate> rows;
    EXPECT_EQ(1, module_.list(&rows));
    EXPECT_TRUE(rows.empty());
    std::vector<os::CertificateBytes> listed;
    ASSERT_TRUE(os::personal_store_certificates(&listed));
    for (const auto& known : kKnownCertificates) {
        EXPECT_EQ(listed.end(), std::find(listed.begin(), listed.end(), der_of(known)));
    }
}

TEST_F(PersonalStore, ConfiguredModuleThatDoesNotLoadFailsCleanly) {
    module_.configure_pkcs11("C:\\nowhere\\quarn-pkcs11.dll");
    std::vector<ListedCertificate> rows;
    EXPECT_EQ(0, module_.list(&rows));
    std::string serial;
    EXPECT_EQ(0, module_.serial("<TARN><UkeyType>ePass1000ND</UkeyType></TARN>", &serial));
    module_.configure_pkcs11("");
    EXPECT_EQ(0, module_.serial("<TARN><UkeyType>ePass1000ND</UkeyType></TARN>", &serial));
}

}  // namespace

#endif  // _WIN32
