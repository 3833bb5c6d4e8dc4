// ReportIdentityAuthResult against the configuration and communication
// doubles: the report sent element by element, its result, and the three
// refusals that send nothing.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>

#include "autocheck/identity/auth_report.h"
#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;

constexpr char kUrl[] = "http://10.1.2.3:8080/tarn/";
const std::string kUrl64 = "http://" + std::string(64, 'h') + "/tarn/";

struct ReportCase {
    const char* name;
    // DeviceId IsForbid RoleId PolicyId IsDoSecurityCheck; "-": not stored.
    const char* keys;
    const char* web_url;
    // "reply": the server answers; "silent": the exchange fails; "oom": the
    // heap is exhausted, so no report can be built.
    const char* server;
    // AgentID RoleID PolicyID IsNeedSafeCheck Result of the report; "" none sent.
    const char* report;
    const char* error = nullptr;
};

void PrintTo(const ReportCase& c, std::ostream* out) {
    *out << c.name;
}

const ReportCase kCases[] = {
    {"Authenticated", "042 0 3 7 1", kUrl, "reply", "42 3 7 Yes Yes"},
    {"RoleZeroStillReports", "42 0 0 7 0", kUrl, "reply", "42 0 7 No No"},
    {"IsolatedOtherThanOne", "42 2 3 7 1", kUrl, "reply", "42 3 7 Yes Yes"},
    {"PolicyWithoutSafeCheck", "42 0 3 0 -1", kUrl, "reply", "42 3 0 Yes Yes"},
    {"UnreadableKeysCountZero", "42 - - - -", kUrl, "reply", "42 0 0 No No"},
    {"ServerSilent", "42 0 3 7 1", kUrl, "silent", "42 3 7 Yes Yes"},
    {"OutOfMemory", "42 0 3 7 1", kUrl, "oom", "", "创建XML报文失败"},
    {"Isolated", "42 1 3 7 1", kUrl, "reply", "", "此设备已被隔离"},
    {"NotRegistered", "0 0 3 7 1", kUrl, "reply", "", "此设备还没有注册"},
    {"DeviceIdMissing", "- 0 3 7 1", kUrl, "reply", "", "此设备还没有注册"},
    {"WebUrlMissing", "42 0 3 7 1", nullptr, "reply", "", "没有找到WebUrl"},
    {"HostOf64", "42 0 3 7 1", kUrl64.c_str(), "reply", "", "没有找到WebUrl"},
};

class Report : public ExchangeTest, public testing::WithParamInterface<ReportCase> {};

TEST_P(Report, SendsTheOutcomeOnceOrRefuses) {
    const ReportCase& c = GetParam();
    const char* const keys[] = {"DeviceId", "IsForbid", "RoleId", "PolicyId", "IsDoSecurityCheck"};
    std::istringstream values(c.keys);
    std::string value;
    for (const char* key : keys) {
        values >> value;
        if (value != "-") Call_TarnWriteConfig(key, value.c_str());
    }
    store({{"WebUrl", c.web_url}});
    const std::string server = c.server;
    if (server == "reply") queue("<TARN><Result>Yes</Result></TARN>");  // ours to free
    if (server == "silent") queue(nullptr, 0);
    begin();
    if (server == "oom") cutil_xml_testing_fail_allocations([](std::size_t) { return true; });

    const int result = ReportIdentityAuthResult();

    const bool sent = *c.report != '\0';
    EXPECT_EQ(sent ? 1 : 0, result);
    Texts expected;
    if (sent) {
        std::istringstream fields(c.report);
        std::string agent, role, policy, check, outcome;
        fields >> agent >> role >> policy >> check >> outcome;
        expected.push_back(
            document({"<TARN>", "\t<TradeCode>ReportAuthResult</TradeCode>",
                      "\t<AgentID>" + agent + "</AgentID>", "\t<RoleID>" + role + "</RoleID>",
                      "\t<PolicyID>" + policy + "</PolicyID>",
                      "\t<IsNeedSafeCheck>" + check + "</IsNeedSafeCheck>",
                      "\t<Result>" + outcome + "</Result>", "</TARN>"}));
        EXPECT_EQ(Texts{"10.1.2.3"}, hosts());
    }
    EXPECT_EQ(expected, requests());
    EXPECT_EQ(c.error != nullptr ? Texts{c.error} : Texts{},
              errors("ReportIdentityAuthResult", "QuarnAssIdentityAuth.cpp"));
    EXPECT_EQ(Texts{}, writes());
}

INSTANTIATE_TEST_SUITE_P(Keys, Report, testing::ValuesIn(kCases), case_name<ReportCase>);

}  // namespace
