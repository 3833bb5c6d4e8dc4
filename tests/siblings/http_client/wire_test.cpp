// Every request the agent builds for the HTTP client (the logons, the guest
// code, the server probe's download), sent through the real module to the
// loopback server: what the server received, per request.
// The agent's configuration and log are the doubles; the certificate module
// (serial number) is the double in the assistant directory, kept for the
// helper process's life as the agent keeps it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "autocheck/bound_modules.h"
#include "autocheck/identity/credential_auth.h"
#include "autocheck/identity/ukey_auth.h"
#include "autocheck/runtime/guest_code.h"
#include "autocheck/runtime/server_probe.h"
#include "interface/config_access.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/process.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/siblings/http_client/server/test_server.h"

namespace {

using namespace quarn::test;

#define AJAX "/mod/client_check/ajax.php?tradecode=net_auth&type="
#define FORM " | application/x-www-form-urlencoded | "

constexpr char kCertificates[] =
    "<TARN><CertInfo><IssueTo>b</IssueTo><CertSerial>77</CertSerial><Subject>CN</Subject>"
    "<CertBase64>MII0+a/b9==</CertBase64></CertInfo></TARN>";

int QUARN_CDECL list_certificates(int, char** result) {
    auto* block = static_cast<char*>(os::global_alloc(sizeof kCertificates));
    std::memcpy(block, kCertificates, sizeof kCertificates);
    *result = block;
    return 1;
}

struct Member {
    const char* name;
    int (*run)();
    const char* received;          // by the server: "METHOD target | content type | body"
    const char* outcome = "1\t5";  // the result, then the RoleId stored
};

const Member kMembers[] = {
    {"UserAuth", &UserAuth,
     "GET " AJAX "User&user_name=Pz8.fn5,Pw::&password=cGFzcw::&deviceid=12 |  | "},
    {"EmailAuth", &EmailAuth,
     "GET " AJAX "Email&email=Pz8.fn5,Pw::&email_password=cGFzcw::&deviceid=12 |  | "},
    {"NoAuth", &NoAuth, "GET " AJAX "NoAuth&deviceid=12 |  | "},
    {"ADAutoAuth", [] { return ADAutoAuth("zhangsan", "CORP"); },
     "GET " AJAX "ADAutoLogin&user_name=emhhbmdzYW4:&domain_name=Q09SUA::&deviceid=12 |  | "},
    {"UserAuthWithUserPassword", [] { return UserAuthWithUserPassword("zhangsan", "pw"); },
     "GET " AJAX "User&user_name=emhhbmdzYW4:&password=cHc:&deviceid=12 |  | "},
    {"UKeyAuth", &UKeyAuth,
     "POST " AJAX "UKey&user_name=Yg::&subject=Q04:&deviceid=12&certserial=77&caserial=77" FORM
     "certbase64=MII0%2Ba%2Fb9%3D%3D"},
    // An empty Argument: the form is empty, the serial number and password
    // travel in the address.
    {"UKeyAuth_ePass1000ND", &UKeyAuth_ePass1000ND,
     "POST " AJAX "UKey&user_name=Yg::&password=cGFzcw::&deviceid=12" FORM},
    {"RequestGuestMask", &RequestGuestMask,
     "GET /mod/client_check/ajax.php?tradecode=get_guest_netcode&user_name=Pz8.fn5,Pw::"
     "&device_id=12 |  | ",
     "1\told"},
    {"IsCanConnectToServer", [] { return IsCanConnectToServer(); },
     "GET /download/TarnAssistantUpdate.inf |  | ", "1\told"},
};

std::string real_module() {
    return program_dir() + sibling::kHttpClientDll;
}

// One line per member into argv[0]: name, result, RoleId, what the server received.
QUARN_TEST_HELPER(wire_rows) {
    if (argc < 1) return 2;
    AssistantHome home;
    FakeModule config(fake_path("QuarnAssConfigMgr.dll"));
    FakeModule log(fake_path("QuarnAssLog.dll"));
    FakeModule cert;
    if (!home.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe") ||
        !home.add(fake_path("QuarnCheckCert.dll"), "QuarnCheckCert.dll") ||
        !cert.load(home.path("QuarnCheckCert.dll"))) {
        return 3;
    }
    cert.answer("GetUsbKeySerialNum", 1, "<TARN><SerialNum>b</SerialNum></TARN>");
    const os::Handle http = os::module_load(real_module().c_str());
    if (http == nullptr) return 4;
    HttpGet = reinterpret_cast<sibling::HttpGetFunction>(os::module_symbol(http, "HttpGet"));
    HttpPost = reinterpret_cast<sibling::HttpPostFunction>(os::module_symbol(http, "HttpPost"));
    HttpDownloadFile = reinterpret_cast<sibling::HttpDownloadFileFunction>(
        os::module_symbol(http, "HttpDownloadFile"));
    GetAllUsbKeyCert = &list_certificates;
    TestServer server;
    if (!server.ready()) return 5;
    std::ofstream out(argv[0], std::ios::binary);
    const std::string web_url = server.url("");
    const std::string download = server.url("/download/");
    for (const Member& member : kMembers) {
        config.reset();
        const char* const settings[][2] = {
            {"DeviceId", "12"},       {"WebUrl", web_url.c_str()},
            {"RoleId", "old"},        {"UserName", "Pz8.fn5,Pw::"},
            {"LastAuthType", "User"}, {"ServerDownPath", download.c_str()},
            {"Password", "cGFzcw::"}};
        for (const auto& setting : settings) Call_TarnWriteConfig(setting[0], setting[1]);
        const int result = member.run();
        char role[64] = "";
        ReadConfigText("RoleId", role, sizeof role);
        out << member.name << '\t' << result << '\t' << role << '\t' << server.received();
    }
    HttpGet = nullptr;
    HttpPost = nullptr;
    HttpDownloadFile = nullptr;
    GetAllUsbKeyCert = nullptr;
    return 0;
}

TEST(HttpClientWire, EveryLogonRequestReachesTheServerAsBuilt) {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quarn-wire-" + std::to_string(os::process_id()) + ".txt"))
                                 .string();
    ASSERT_EQ(0, wait_helper(spawn_helper("wire_rows", {file.c_str()}), 60000));
    std::string expected;
    for (const Member& member : kMembers) {
        expected +=
            std::string(member.name) + "\t" + member.outcome + "\t" + member.received + "\n";
    }
    std::ifstream in(file, std::ios::binary);
    std::string got;
    for (std::string line; std::getline(in, line);) got += line + "\n";
    in.close();
    std::remove(file.c_str());
    EXPECT_EQ(expected, got);
    std::printf("%s", got.c_str());
}

}  // namespace
