// USB-key authentication: the certificates tried one POST each, and the
// ePass1000ND key's serial number (its module is kept for the life of the
// process, so those rows run in one helper process of their own).
#include "autocheck/identity/ukey_auth.h"

#include <algorithm>
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
#define ACCEPT "RoleID='5' PolicyID='8'"

enum Runtime { kKeyIn, kNoKey, kNoModule };

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
    Runtime runtime;
    int listed;
    const char* certificates;  // inside <TARN>
    const char* answers;       // the POSTs' answers in turn, "|"; "-" for no answer
    int result;
    const char* posted;
    const char* role_writes;
    const char* policy;
    const char* error;
};

const UKeyCase kUKeyCases[] = {
    {"FirstRejectedThenAccepted", kKeyIn, 1, CERT_A CERT_B, "denied|" ACCEPT, 1, POSTED_A POSTED_B,
     "0,5", "8", ""},
    {"AllRejected", kKeyIn, 1, CERT_A CERT_B, "denied|denied", 0, POSTED_A POSTED_B, "0,0", "0",
     "没有插入有效的UKEY"},
    {"RuntimeCheckAbsent", kNoModule, 1, CERT_A, ACCEPT, 1, POSTED_A, "5", "8", ""},
    {"NoKeyPlugged", kNoKey, 1, CERT_A, ACCEPT, 0, "", "", "old", "此设备没有插UKEY"},
    {"IncompleteSkipped", kKeyIn, 1, CERT_C CERT_B, ACCEPT, 1, POSTED_B, "5", "8", ""},
    {"UnansweredThenAccepted", kKeyIn, 1, CERT_A CERT_B, "-|" ACCEPT, 1, POSTED_A POSTED_B, "5",
     "8", ""},
    {"LastIncomplete", kKeyIn, 1, CERT_A CERT_C, "denied", 0, POSTED_A, "0", "0",
     "没有插入有效的UKEY"},
    {"NoCertificate", kKeyIn, 1, "", ACCEPT, 0, "", "", "old", "没有插入有效的UKEY"},
    {"ListFails", kKeyIn, 0, CERT_A, ACCEPT, 0, "", "", "old", "取设备UKEY证书信息失败"},
    {"ListUnreadable", kKeyIn, 1, nullptr, ACCEPT, 0, "", "", "old", "创建证书信息报文失败"},
};

class UKeyAuthRows : public CredentialFixture, public testing::WithParamInterface<UKeyCase> {};

TEST_P(UKeyAuthRows, PostEachCertificateUntilOneIsAccepted) {
    const UKeyCase& c = GetParam();
    FakeModule runtime;
    if (c.runtime != kNoModule) {
        ASSERT_TRUE(runtime.load(fake_path("QuarnAssRuntimeCheck.dll")));
    }
    if (c.runtime == kNoKey) runtime.answer("HaveInsertUsbKey", 0);
    g_certificates = c.certificates != nullptr ? std::string("<TARN>") + c.certificates + "</TARN>"
                                               : "not a list";
    g_listed = c.listed;
    GetAllUsbKeyCert = &list_certificates;
    const std::string answers = c.answers;
    for (std::size_t at = 0; at <= answers.size();) {
        const std::size_t end = std::min(answers.find('|', at), answers.size());
        const std::string answer = answers.substr(at, end - at);
        http_.queue_answer("HttpPost", answer == "-" ? 0 : 1,
                           answer == "-" ? nullptr : answer.c_str());
        at = end + 1;
    }

    EXPECT_EQ(c.result, UKeyAuth());
    std::string posted;
    for (const auto& document : requests("HttpPost")) posted += document + "\n";
    EXPECT_EQ(c.posted, posted);
    EXPECT_EQ(c.role_writes, writes("RoleId"));
    EXPECT_EQ(c.policy, stored("PolicyId"));
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
    const char* answer;
    int result;
    const char* posted;
    const char* ids;     // RoleId,PolicyId afterwards
    const char* errors;  // level-1 traces of the method and the routine
};

// In order: the module is first missing, then copied in and kept.
const EPassCase kEPassCases[] = {
    {"ModuleMissing", false, 1, SERIAL("x"), "cGFzcw::", 1, ACCEPT, 0, "", "old,old",
     "没有找到GetUsbKeySerialNum|" NO_SERIAL},
    {"Accepted", true, 1, SERIAL("???~~~?"), "cGFzcw::", 1, ACCEPT, 1,
     EPASS_POSTED("Pz8.fn5,Pw::", "cGFzcw::"), "5,8", ""},
    {"NoStoredPassword", true, 1, SERIAL("b"), nullptr, 1, ACCEPT, 1, EPASS_POSTED("Yg::", ""),
     "5,8", ""},
    {"Serial29", true, 1, SERIAL(A29), "p", 1, ACCEPT, 1,
     EPASS_POSTED("QUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUE:", "p"), "5,8", ""},
    {"Serial30", true, 1, SERIAL(A29 "A"), "p", 1, ACCEPT, 0, "", "old,old", NO_SERIAL},
    {"NoSerialNum", true, 1, "<TARN><Other>1</Other></TARN>", "p", 1, ACCEPT, 0, "", "old,old",
     NO_SERIAL},
    {"CallFails", true, 0, SERIAL("x"), "p", 1, ACCEPT, 0, "", "old,old",
     "GetUsbKeySerialNum 调用失败|" NO_SERIAL},
    {"ReplyUnreadable", true, 1, "serial", "p", 1, ACCEPT, 0, "", "old,old",
     "没有取到序列号|" NO_SERIAL},
    {"AnswerWithoutQuotes", true, 1, SERIAL("b"), "p", 1, "RoleID=4 PolicyID=9", 0,
     EPASS_POSTED("Yg::", "p"), "0,0", "没有插入有效的 ePass1000ND UKEY"},
    {"PostUnanswered", true, 1, SERIAL("b"), "p", 0, nullptr, 0, EPASS_POSTED("Yg::", "p"),
     "old,old", ""},
    // A longer address would be cut inside the password or the device id.
    {"AddressTooLong", true, 1, SERIAL("b"), A29 A29 A29 A29 A29 A29 A29, 1, ACCEPT, 0, "",
     "old,old", "认证地址太长"},
};

constexpr char kSerialFunction[] = "GetUsbKeySerialNum__ePass1000ND";

// argv[0]: the file that receives one line per row:
// result \t posted \t ids \t errors.
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
        if (row.module && !cert.loaded()) {
            if (!home.add(fake_path("QuarnCheckCert.dll"), "QuarnCheckCert.dll")) return 3;
            if (!cert.load(home.path("QuarnCheckCert.dll"))) return 4;
        }
        cert.answer("GetUsbKeySerialNum", row.serial_result, row.serial_reply);
        config.reset();
        http.reset();
        http.answer("HttpPost", row.post_result, row.answer);
        Call_TarnWriteConfig("DeviceId", "12");
        Call_TarnWriteConfig("WebUrl", kWebUrl);
        Call_TarnWriteConfig("RoleId", "old");
        Call_TarnWriteConfig("PolicyId", "old");
        if (row.password != nullptr) Call_TarnWriteConfig("Password", row.password);
        traces.clear();

        const int result = UKeyAuth_ePass1000ND();

        char ids[600] = "";
        ReadConfigText("RoleId", ids, 64);
        std::strcat(ids, ",");
        ReadConfigText("PolicyId", ids + std::strlen(ids), 64);
        out << result << '\t';
        for (const auto& call : http.calls_of("HttpPost")) out << call.arguments;
        out << '\t' << ids << '\t';
        const char* separator = "";
        for (const auto& record : traces.records()) {
            if (record.level != kTraceError ||
                (record.function != "UKeyAuth_ePass1000ND" && record.function != kSerialFunction)) {
                continue;
            }
            out << separator << without_error(record.message);
            separator = "|";
        }
        out << '\n';
    }
    int code = 0;
    if (GetUsbKeySerialNum__ePass1000ND(nullptr) != 0) code = 5;
    // The routine made the assistant directory the process's current one.
    if (!std::ifstream("cwd-probe.txt")) code = 6;
    os::directory_set_current(std::filesystem::temp_directory_path().string().c_str());
    HttpPost = nullptr;
    return code;
}

TEST(UKeyAuthEPass, PostsTheSerialNumberWithTheStoredPassword) {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quarn-epass-" + std::to_string(os::process_id()) + ".txt"))
                                 .string();
    ASSERT_EQ(0, wait_helper(spawn_helper("epass_rows", {file.c_str()})));
    std::ifstream in(file, std::ios::binary);
    for (const EPassCase& row : kEPassCases) {
        SCOPED_TRACE(row.name);
        std::string result, posted, ids, errors;
        ASSERT_TRUE(std::getline(in, result, '\t') && std::getline(in, posted, '\t') &&
                    std::getline(in, ids, '\t') && std::getline(in, errors));
        EXPECT_EQ(std::to_string(row.result), result);
        EXPECT_EQ(row.posted, posted);
        EXPECT_EQ(row.ids, ids);
        EXPECT_GBK_EQ(row.errors, errors);
    }
    in.close();
    std::remove(file.c_str());
}

}  // namespace
