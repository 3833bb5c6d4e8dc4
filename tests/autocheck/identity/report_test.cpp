// ReportIdentityAuthResult: the report element by element, its result, and
// the refusals that send nothing.
#include <sstream>

#include "autocheck/identity/auth_report.h"
#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;

constexpr char kReply[] = "<TARN><Result>Yes</Result></TARN>";
constexpr char kOutOfMemory[] = "";
const std::string kHostOf64 = "42 0 3 7 1 http://" + std::string(64, 'h');

struct ReportCase {
    const char* name;
    const char* keys;   // DeviceId IsForbid RoleId PolicyId IsDoSecurityCheck WebUrl; "-": none
    const char* reply;  // the server's; null: silent
    const char* sent;   // AgentID RoleID PolicyID IsNeedSafeCheck Result; "": nothing sent
    const char* error = nullptr;
};

const ReportCase kCases[] = {
    {"Authenticated", "042 0 3 7 1 http://10.1.2.3/t", kReply, "42 3 7 Yes Yes"},
    {"IsForbidTwoStillReports", "42 2 3 7 -1 http://10.1.2.3/t", kReply, "42 3 7 Yes Yes"},
    {"RoleZeroToASilentServer", "42 0 - 0 - http://10.1.2.3/t", nullptr, "42 0 0 No No"},
    {"Isolated", "42 1 3 7 1 http://10.1.2.3/t", kReply, "", "此设备已被隔离"},
    {"NotRegistered", "- 0 3 7 1 http://10.1.2.3/t", kReply, "", "此设备还没有注册"},
    {"HostOf64", kHostOf64.c_str(), kReply, "", "没有找到WebUrl"},
    {"OutOfMemory", "42 0 3 7 1 http://10.1.2.3/t", kOutOfMemory, "", "创建XML报文失败"},
};

class Report : public ExchangeTest, public testing::WithParamInterface<ReportCase> {};

TEST_P(Report, SendsTheOutcomeOnceOrRefuses) {
    const ReportCase& c = GetParam();
    std::istringstream keys(c.keys);
    std::string value;
    for (const char* key :
         {"DeviceId", "IsForbid", "RoleId", "PolicyId", "IsDoSecurityCheck", "WebUrl"})
        if (keys >> value && value != "-") Call_TarnWriteConfig(key, value.c_str());
    queue(c.reply == kOutOfMemory ? kReply : c.reply);
    if (c.reply == kOutOfMemory)
        cutil_xml_testing_fail_allocations([](std::size_t) { return true; });
    begin();

    EXPECT_EQ(*c.sent != '\0' ? 1 : 0, ReportIdentityAuthResult());

    std::istringstream fields(c.sent);
    Texts lines = {"<TARN>", "\t<TradeCode>ReportAuthResult</TradeCode>"};
    for (const char* name : {"AgentID", "RoleID", "PolicyID", "IsNeedSafeCheck", "Result"}) {
        if (fields >> value)
            lines.push_back(std::string("\t<") + name + ">" + value + "</" + name + ">");
    }
    lines.push_back("</TARN>");
    EXPECT_EQ(*c.sent != '\0' ? Texts{document(lines)} : Texts{}, requests());
    EXPECT_EQ(c.error != nullptr ? Texts{c.error} : Texts{},
              errors("ReportIdentityAuthResult", "QuarnAssIdentityAuth.cpp"));
}

INSTANTIATE_TEST_SUITE_P(Keys, Report, testing::ValuesIn(kCases), case_name<ReportCase>);

}  // namespace
