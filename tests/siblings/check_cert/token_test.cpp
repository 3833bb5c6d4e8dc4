// Certificates and serial number from SoftHSM2 tokens that the tests make:
// a token holding the two known certificates, an empty one, and none at all.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "autocheck/identity/ukey_auth.h"
#include "os/process.h"
#include "os/system.h"
#include "os/text.h"
#include "tests/fakes/assistant_home.h"
#include "tests/siblings/check_cert/key_fixture.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

constexpr char kSoftHsm[] = "/usr/lib/softhsm/libsofthsm2.so";
constexpr char kEpassArgument[] = "<TARN><UkeyType>ePass1000ND</UkeyType></TARN>";

std::string g_root;          // one folder per token set: "two", "empty", "none"
std::string g_token_serial;  // as softhsm2-util reports the "two" token's

std::string conf_of(const char* set) {
    return g_root + set + "/softhsm2.conf";
}

int run(const std::string& set, const std::string& command) {
    return std::system(("SOFTHSM2_CONF='" + conf_of(set.c_str()) + "' " + command + " >>'" +
                        g_root + "tools.log' 2>&1")
                           .c_str());
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// "name=value" lines of a tool's output; value of `name`.
std::string value_after(const std::string& text, const std::string& name) {
    const auto at = text.find(name);
    if (at == std::string::npos) return "(missing)";
    const auto start = text.find_first_not_of(" \t", at + name.size());
    return text.substr(start, text.find('\n', start) - start);
}

class UsbKeyToken : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_root = (fs::temp_directory_path() / ("quarn-tokens-" + std::to_string(os::process_id())))
                     .string() +
                 "/";
        for (const char* set : {"two", "empty", "none"}) {
            fs::create_directories(g_root + set + "/tokens");
            std::ofstream(conf_of(set))
                << "directories.tokendir = " << g_root << set
                << "/tokens\nobjectstore.backend = file\nlog.level = ERROR\n";
        }
        for (const char* set : {"two", "empty"}) {
            ASSERT_EQ(0, run(set,
                             "softhsm2-util --init-token --free --label quarn-key "
                             "--so-pin 87654321 --pin 12345678"));
        }
        for (std::size_t i = 0; i < 2; ++i) {
            const std::string der = g_root + "cert" + std::to_string(i) + ".der";
            const auto bytes = der_of(kKnownCertificates[i]);
            std::ofstream(der, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            ASSERT_EQ(0, run("two", std::string("pkcs11-tool --module ") + kSoftHsm +
                                        " --login --pin 12345678 --type cert --id 0" +
                                        std::to_string(i + 1) + " --write-object '" + der + "'"));
        }
        ASSERT_EQ(0, std::system(("SOFTHSM2_CONF='" + conf_of("two") +
                                  "' softhsm2-util --show-slots >'" + g_root + "slots.txt'")
                                     .c_str()));
        g_token_serial = value_after(read_file(g_root + "slots.txt"), "Serial number:");
    }
    static void TearDownTestSuite() {
        os::env_set("SOFTHSM2_CONF", nullptr);
        std::error_code ignored;
        fs::remove_all(g_root, ignored);
    }

    void use(const char* set, const std::string& module = kSoftHsm) {
        os::env_set("SOFTHSM2_CONF", conf_of(set).c_str());
        module_.configure_pkcs11(module);
    }

    CertModule module_;
};

TEST_F(UsbKeyToken, BothCertificatesAreListedAsOpenSslReadsThem) {
    use("two");
    std::vector<ListedCertificate> rows;
    ASSERT_EQ(1, module_.list(&rows));
    ASSERT_EQ(2u, rows.size());
    for (std::size_t i = 0; i < 2; ++i) {
        const KnownCertificate& known = kKnownCertificates[i];
        SCOPED_TRACE(known.serial);
        // The token's order is its own: find the row by its certificate.
        const ListedCertificate* row = nullptr;
        for (const auto& candidate : rows) {
            if (candidate.base64 == known.base64) row = &candidate;
        }
        ASSERT_NE(nullptr, row);
        EXPECT_EQ(known.issue_to, row->issue_to);
        EXPECT_EQ(known.serial, row->serial);
        EXPECT_EQ(known.subject, row->subject);

        const std::string der = g_root + "cert" + std::to_string(i) + ".der";
        const std::string out = der + ".txt";
        ASSERT_EQ(0, std::system(("openssl x509 -inform DER -in '" + der +
                                  "' -noout -serial -subject -nameopt oneline,-space_eq,-esc_msb,"
                                  "utf8 >'" +
                                  out + "'")
                                     .c_str()));
        const std::string openssl = read_file(out);
        EXPECT_EQ(value_after(openssl, "serial="), row->serial);
        const std::string subject = value_after(openssl, "subject=");
        EXPECT_EQ(os::utf8_to_gbk(subject.c_str(), subject.size()), row->subject);
    }
}

TEST_F(UsbKeyToken, KeysThatCannotBeReadFailCleanly) {
    const struct {
        const char* name;
        const char* set;
        std::string module;
        int result;
    } rows[] = {
        {"EmptyToken", "empty", kSoftHsm, 1},  // a key, but nothing on it
        {"NoToken", "none", kSoftHsm, 0},
        {"AbsentModule", "two", "/nonexistent/libquarn-pkcs11.so", 0},
        {"NotAPkcs11Module", "two", fake_path("QuarnAssConfigMgr.dll"), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        use(row.set, row.module);
        std::vector<ListedCertificate> listed;
        EXPECT_EQ(row.result, module_.list(&listed));
        EXPECT_TRUE(listed.empty());
        std::string serial = "(untouched)";
        EXPECT_EQ(row.result, module_.serial(kEpassArgument, &serial));
        if (row.result == 0) {
            EXPECT_EQ("", serial);
        }
    }
}

TEST_F(UsbKeyToken, SerialNumberOnlyForTheEpassKeyType) {
    use("two");
    ASSERT_NE("(missing)", g_token_serial);
    const struct {
        const char* argument;
        int result;
        std::string serial;
    } rows[] = {
        {kEpassArgument, 1, g_token_serial},
        {"<TARN><UkeyType>ePass2000</UkeyType></TARN>", 0, ""},
        {"<TARN></TARN>", 0, ""},
        {"not a document", 0, ""},
        {nullptr, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.argument != nullptr ? row.argument : "(null)");
        std::string serial;
        EXPECT_EQ(row.result, module_.serial(row.argument, &serial));
        EXPECT_EQ(row.serial, serial);
    }
}

TEST_F(UsbKeyToken, AgentReadsTheSerialNumberThroughItsOwnPath) {
    use("two");
    AssistantHome home;
    ASSERT_TRUE(home.add(program_dir() + "QuarnCheckCert.dll", "QuarnCheckCert.dll"));
    char serial[32] = "untouched";
    ASSERT_EQ(1, GetUsbKeySerialNum__ePass1000ND(serial));
    EXPECT_EQ(g_token_serial, serial);
}

}  // namespace

#endif  // !_WIN32
