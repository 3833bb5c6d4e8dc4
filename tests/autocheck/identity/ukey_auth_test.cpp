// USB-key authentication: the certificates tried one POST each, and the
// ePass1000ND key's serial number (its module is kept for the life of the
// process, so those rows run in one helper process of their own).
#include "autocheck/identity/ukey_auth.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/file.h"
#include "os/memory.h"
#include "os/process.h"
#include "support/helper_process.h"
#include "tests/autocheck/identity/credential_fixture.h"
#include "tests/fakes/assistant_home.h"

namespace {

using namespace quarn::test;

#define AUTH_URL "http://srv:8080/mod/client_check/ajax.php?tradecode=net_auth&type=UKey&user_name="
#define CERT(issue_to, serial, subject, base64)                                            \
    "<CertInfo><IssueTo>" issue_to "</IssueTo><CertSerial>" serial "</CertSerial>" subject \
    "<CertBase64>" base64 "</CertBase64></CertInfo>"
#define POSTED(user, subject, serial, base64)                                             \
    "<TARN><PostUrl>" AUTH_URL user "&subject=" subject "&deviceid=12&certserial=" serial \
    "&caserial=" serial "</PostUrl><Argument><Name>certbase64</Name><Value>" base64       \
    "</Value></Argument></TARN>\n"

// A: names whose Base64 holds every URL-safe substitution; B: one- and
// two-character names; C: no Subject.
#define CERT_A CERT("???~~~?", "0A1B", "<Subject>a>b?c</Subject>", "MIIB+x/y==")
#define CERT_B CERT("b", "77", "<Subject>CN</Subject>", "MIIC")
#define CERT_C CERT("eve", "66", "", "MIID")
#define POSTED_A POSTED("Pz8.fn5,Pw::", "YT5iP2M:", "0A1B", "MIIB+x/y==")
#define POSTED_B POSTED("Yg::", "Q04:", "77", "MIIC")

std::string g_certificates;
int g_listed = 1;

int QUARN_CDECL list_certificates(int reserved, char** result) {
    auto* block = static_cast<char*>(os::global_alloc(g_certificates.size() + 1));
    std::memcpy(block, g_certificates.c_str(), g_certificates.size() + 1);
    *result = block;
    return reserved == 0 ? g_listed : 0;
}

struct UKeyCase {
    const char* name;
    int key;                   // HaveInsertUsbKey's answer; -1: no runtime-check module
    int listed;                // GetAllUsbKeyCert's answer; -1: the certificate module is not bound
    const char* certificates;  // inside <TARN>; null: no document at all
    const char* answers[2];    // the POSTs' answers in turn ("-": none)
    int result;
    const char* posted;
    const char* writes;  // RoleId values written;PolicyId values written
    const char* error;
    const char* left_out = "";  // a setting not configured
};

const UKeyCase kUKeyCases[] = {
    {"FirstRejectedThenAccepted", 1, 1, CERT_A CERT_B, "denied", kAccepted, 1, POSTED_A POSTED_B,
     "0,5;0,8", ""},
    {"AllRejected", 1, 1, CERT_A CERT_B, "denied", "denied", 0, POSTED_A POSTED_B, "0,0;0,0",
     "没有插入有效的UKEY"},
    {"RuntimeCheckAbsent", -1, 1, CERT_A, kAccepted, nullptr, 1, POSTED_A, "5;8", ""},
    {"NoKeyPlugged", 0, 1, CERT_A, kAccepted, nullptr, 0, "", ";", "此设备没有插UKEY"},
    {"IncompleteSkipped", 1, 1, CERT_C CERT_B, kAccepted, nullptr, 1, POSTED_B, "5;8", ""},
    {"UnansweredThenAccepted", 1, 1, CERT_A CERT_B, "-", kAccepted, 1, POSTED_A POSTED_B, "5;8",
     ""},
    {"LastIncomplete", 1, 1, CERT_A CERT_C, "denied", nullptr, 0, POSTED_A, "0;0",
     "没有插入有效的UKEY"},
    {"NoCertificate", 1, 1, "", kAccepted, nullptr, 0, "", ";", "没有插入有效的UKEY"},
    {"ListFails", 1, 0, CERT_A, kAccepted, nullptr, 0, "", ";", "取设备UKEY证书信息失败"},
    {"ListUnreadable", 1, 1, nullptr, kAccepted, nullptr, 0, "", ";", "创建证书信息报文失败"},
    {"CertificateModuleNotBound", 1, -1, CERT_A, kAccepted, nullptr, 0, "", ";",
     "取设备UKEY证书信息失败"},
    {"Unregistered", 1, 1, CERT_A, kAccepted, nullptr, 0, "", ";", "DeviceId==0，设备可能没有注册",
     "DeviceId"},
    {"NoWebUrl", 1, 1, CERT_A, kAccepted, nullptr, 0, "", ";", "没有找到检查页面", "WebUrl"},
};

class UKeyAuthRows : public CredentialFixture, public testing::WithParamInterface<UKeyCase> {};

TEST_P(UKeyAuthRows, PostEachCertificateUntilOneIsAccepted) {
    const UKeyCase& c = GetParam();
    if (*c.left_out != '\0') configure(c.left_out);
    FakeModule runtime;
    if (c.key >= 0) {
        ASSERT_TRUE(runtime.load(fake_path("QuarnAssRuntimeCheck.dll")));
        runtime.answer("HaveInsertUsbKey", c.key);
    }
    g_certificates =
        c.certificates != nullptr ? std::string("<TARN>") + c.certificates + "</TARN>" : "no list";
    g_listed = c.listed;
    GetAllUsbKeyCert = c.listed >= 0 ? &list_certificates : nullptr;
    for (const char* answer : c.answers) {
        if (answer == nullptr) continue;
        const bool answered = answer[0] != '-';
        http_.queue_answer("HttpPost", answered, answered ? answer : nullptr);
    }

    EXPECT_EQ(c.result, UKeyAuth());
    EXPECT_EQ(c.posted, sent("HttpPost"));
    EXPECT_EQ(c.writes, writes("RoleId") + ";" + writes("PolicyId"));
    EXPECT_GBK_EQ(c.error, traced("UKeyAuth"));
}

INSTANTIATE_TEST_SUITE_P(Rows, UKeyAuthRows, testing::ValuesIn(kUKeyCases),
                         [](const testing::TestParamInfo<UKeyCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

// --- ePass1000ND -------------------------------------------------------------

#define EPASS_POSTED(user, password)                      \
    "<TARN><PostUrl>" AUTH_URL user "&password=" password \
    "&deviceid=12</PostUrl><Argument></Argument></TARN>"
#define SERIAL(number) "<TARN><SerialNum>" number "</SerialNum></TARN>"
#define NO_SERIAL "没有取到ePass1000ND UKEY 序列号"
#define A29 "AAAAAAAAAAAAAAAAAAAAAAAAAAAAA"

struct EPassCase {
    const char* name;
    bool module;  // the certificate module is in the assistant directory
    int serial_result;
    const char* serial_reply;
    const char* password;  // null: not configured
    int post_result;
    int result;
    const char* posted;
    const char* ids;     // RoleId,PolicyId afterwards
    const char* errors;  // level-1 traces of the method and the routine
};

// In order: the module is missing at first, then copied in and kept. The
// server answers kAccepted, or "RoleID=4 PolicyID=9" to password "q".
const EPassCase kEPassCases[] = {
    {"ModuleMissing", false, 1, SERIAL("x"), "p", 1, 0, "", "old,old",
     "没有找到GetUsbKeySerialNum|" NO_SERIAL},
    {"Accepted", true, 1, SERIAL("???~~~?"), "cGFzcw::", 1, 1,
     EPASS_POSTED("Pz8.fn5,Pw::", "cGFzcw::"), "5,8", ""},
    {"NoStoredPassword", true, 1, SERIAL("b"), nullptr, 1, 1, EPASS_POSTED("Yg::", ""), "5,8", ""},
    {"Serial29", true, 1, SERIAL(A29), "p", 1, 1,
     EPASS_POSTED("QUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUE:", "p"), "5,8", ""},
    {"Serial30", true, 1, SERIAL(A29 "A"), "p", 1, 0, "", "old,old", NO_SERIAL},
    {"NoSerialNum", true, 1, "<TARN><Other>1</Other></TARN>", "p", 1, 0, "", "old,old", NO_SERIAL},
    {"CallFails", true, 0, SERIAL("x"), "p", 1, 0, "", "old,old",
     "GetUsbKeySerialNum 调用失败|" NO_SERIAL},
    {"ReplyUnreadable", true, 1, "serial", "p", 1, 0, "", "old,old", "没有取到序列号|" NO_SERIAL},
    {"AnswerWithoutQuotes", true, 1, SERIAL("b"), "q", 1, 0, EPASS_POSTED("Yg::", "q"), "0,0",
     "没有插入有效的 ePass1000ND UKEY"},
    {"PostUnanswered", true, 1, SERIAL("b"), "p", 0, 0, EPASS_POSTED("Yg::", "p"), "old,old", ""},
    // A longer address would be cut inside the password or the device id.
    {"AddressTooLong", true, 1, SERIAL("b"), A29 A29 A29 A29 A29 A29 A29, 1, 0, "", "old,old",
     "认证地址太长"},
};

// One line per row into the file argv[0]: result, posted, ids, errors, name.
QUARN_TEST_HELPER(epass_rows) {
    if (argc < 1) return 2;
    AssistantHome home;
    std::ofstream(home.path("cwd-probe.txt")) << "probe";
    FakeModule config(fake_path("QuarnAssConfigMgr.dll"));
    FakeModule http(fake_path("QuarnHttpClient.dll"));
    FakeModule cert;
    HttpPost = reinterpret_cast<sibling::HttpPostFunction>(http.symbol("HttpPost"));
    TraceCapture traces;
    std::ofstream out(argv[0], std::ios::binary);
    for (const EPassCase& row : kEPassCases) {
        if (row.module && !cert.loaded() &&
            !(home.add(fake_path("QuarnCheckCert.dll"), "QuarnCheckCert.dll") &&
              cert.load(home.path("QuarnCheckCert.dll")))) {
            return 3;
        }
        cert.answer("GetUsbKeySerialNum", row.serial_result, row.serial_reply);
        config.reset();
        http.reset();
        const bool refused = row.password != nullptr && std::string(row.password) == "q";
        http.answer("HttpPost", row.post_result, refused ? "RoleID=4 PolicyID=9" : kAccepted);
        for (const char* key : {"RoleId", "PolicyId"}) Call_TarnWriteConfig(key, "old");
        Call_TarnWriteConfig("DeviceId", "12");
        Call_TarnWriteConfig("WebUrl", "http://srv:8080");
        if (row.password != nullptr) Call_TarnWriteConfig("Password", row.password);
        traces.clear();

        out << UKeyAuth_ePass1000ND() << '\t';
        for (const auto& call : http.calls_of("HttpPost")) out << call.arguments;
        char role[64] = "", policy[64] = "";
        ReadConfigText("RoleId", role, sizeof role);
        ReadConfigText("PolicyId", policy, sizeof policy);
        out << '\t' << role << ',' << policy << '\t';
        const char* separator = "";
        for (const auto& record : traces.records()) {
            if (record.level == kTraceError &&
                (record.function == "UKeyAuth_ePass1000ND" ||
                 record.function == "GetUsbKeySerialNum__ePass1000ND")) {
                out << separator << without_error(record.message);
                separator = "|";
            }
        }
        // The key's password is posted, never traced.
        for (const auto& record : traces.records()) {
            if (row.password != nullptr && *row.password != '\0' &&
                record.message.find(std::string("password=") + row.password) != std::string::npos) {
                out << separator << "password traced";
            }
        }
        out << '\t' << row.name << '\n';
    }
    int code = GetUsbKeySerialNum__ePass1000ND(nullptr) != 0 ? 4 : 0;
    // The routine made the assistant directory the process's current one.
    if (!std::ifstream("cwd-probe.txt")) code = 5;
    os::directory_set_current(std::filesystem::temp_directory_path().string().c_str());
    HttpPost = nullptr;
    return code;
}

TEST(UKeyAuthEPass, PostsTheSerialNumberWithTheStoredPassword) {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quarn-epass-" + std::to_string(os::process_id()) + ".txt"))
                                 .string();
    ASSERT_EQ(0, wait_helper(spawn_helper("epass_rows", {file.c_str()})));
    std::string expected;
    for (const EPassCase& row : kEPassCases) {
        expected += std::to_string(row.result) + "\t" + row.posted + "\t" + row.ids + "\t" +
                    row.errors + "\t" + row.name + "\n";
    }
    std::ifstream in(file, std::ios::binary);
    std::string got;
    for (std::string line; std::getline(in, line);) got += line + "\n";
    in.close();
    std::remove(file.c_str());
    EXPECT_GBK_EQ(expected, got);
}

}  // namespace
