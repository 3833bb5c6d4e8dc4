// CheckDomainUser called as the agent calls it, through the module-call
// component with "<CheckType></CheckType>". On POSIX the machine's realmd/SSSD
// configuration is scripted in a folder standing for "/".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "cutil/xml.h"
#include "interface/module_call.h"
#include "os/process.h"
#include "os/system.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

struct Reply {
    int result = 0;
    std::string check, user, domain;
};

std::string text_or_missing(const XmlNode* document, const char* path) {
    const char* text = cutil_xml_get(document, "%s", path);
    return text != nullptr ? text : "(missing)";
}

class CheckDomain : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
    }

    Reply call() const {
        Reply reply;
        char* text = nullptr;
        reply.result = CallOneModuleFuncA((program_dir() + "QuarnCheckDomain.dll").c_str(),
                                          "<CheckType></CheckType>", "CheckDomainUser", &text);
        const std::unique_ptr<XmlNode, XmlDocumentDeleter> document(
            text != nullptr ? cutil_xml_import_fre(text) : nullptr);
        std::free(text);
        if (document) {
            reply.check = text_or_missing(document.get(), "Result/CheckType/Result");
            reply.user = text_or_missing(document.get(), "Result/Info/CurLogonUser");
            reply.domain = text_or_missing(document.get(), "Result/Info/DomainName");
        }
        return reply;
    }

    AssistantHome home_;
};

#ifdef _WIN32

TEST_F(CheckDomain, MachineOutsideADomainAnswersNo) {
    const Reply reply = call();
    EXPECT_EQ(1, reply.result);
    EXPECT_EQ("No", reply.check);
    EXPECT_NE("", reply.user);
    EXPECT_EQ("", reply.domain);
}

#else

std::string current_user() {
    const std::string out = fs::temp_directory_path() / "quarn-whoami.txt";
    if (std::system(("id -un >'" + out + "'").c_str()) != 0) return "(unknown)";
    std::string name;
    std::getline(std::ifstream(out), name);
    fs::remove(out);
    return name;
}

TEST_F(CheckDomain, JoinedIsDecidedByTheScriptedConfiguration) {
    const std::string user = current_user();
    const std::string sssd_joined =
        "[sssd]\nservices = nss, pam\ndomains = corp.example.com, lab\n";
    const struct {
        const char* name;
        std::string sssd_conf;  // "" = no file
        bool keytab;
        std::string passwd;
        const char* check;
        const char* domain;
    } rows[] = {
        {"NotJoined", "", false, "", "No", ""},
        {"DomainUser", sssd_joined, true, "quarn-other:x:1001:1001::/home:/bin/sh\n", "Yes",
         "corp.example.com"},
        {"LocalUserOfAJoinedMachine", sssd_joined, true, user + ":x:1000:1000::/home:/bin/sh\n",
         "No", "corp.example.com"},
        {"ConfiguredButNoKeytab", sssd_joined, false, "", "No", ""},
        {"DomainsOutsideTheSssdSection", "[domain/lab]\ndomains = lab\n", true, "", "No", ""},
    };
    const std::string root =
        fs::temp_directory_path() / ("quarn-root-" + std::to_string(os::process_id()));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(root);
        fs::create_directories(root + "/etc/sssd");
        if (!row.sssd_conf.empty()) std::ofstream(root + "/etc/sssd/sssd.conf") << row.sssd_conf;
        if (row.keytab) std::ofstream(root + "/etc/krb5.keytab") << "\x05\x02keys";
        std::ofstream(root + "/etc/passwd") << row.passwd;
        os::env_set("QUARN_SYSTEM_ROOT", root.c_str());
        const Reply reply = call();
        EXPECT_EQ(1, reply.result);
        EXPECT_EQ(row.check, reply.check);
        EXPECT_EQ(user, reply.user);
        EXPECT_EQ(row.domain, reply.domain);
    }
    os::env_set("QUARN_SYSTEM_ROOT", nullptr);
    fs::remove_all(root);
}

#endif

}  // namespace
