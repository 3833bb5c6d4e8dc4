// Without a configured PKCS#11 module, Windows lists the personal store's
// certificates that have a key: the test adds the known certificates to the
// current user's "MY" store, one with a key and one without.
#ifdef _WIN32

#include <gtest/gtest.h>

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

TEST_F(PersonalStore, CertificatesWithAKeyAreListed) {
    std::vector<ListedCertificate> rows;
    ASSERT_EQ(1, module_.list(&rows));
    ASSERT_EQ(1u, rows.size());
    const KnownCertificate& known = kKnownCertificates[0];
    EXPECT_EQ(known.issue_to, rows[0].issue_to);
    EXPECT_EQ(known.serial, rows[0].serial);
    EXPECT_EQ(known.subject, rows[0].subject);
    EXPECT_EQ(known.base64, rows[0].base64);

    // The same parse applies to the keyless one, which only the filter left out.
    os::CertificateFields fields;
    const auto der = der_of(kKnownCertificates[1]);
    ASSERT_TRUE(os::certificate_fields(der.data(), der.size(), &fields));
    EXPECT_EQ(kKnownCertificates[1].serial, fields.serial);
    EXPECT_EQ(kKnownCertificates[1].subject, fields.subject);
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
