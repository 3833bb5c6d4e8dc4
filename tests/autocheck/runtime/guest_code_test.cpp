// Guest network codes: what the stored settings and the server's answer put
// on the page, the exact page file, and the parse of an answer.
#include "autocheck/runtime/guest_code.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/gbk.h"
#include "tests/autocheck/runtime/event_fixture.h"

namespace {

using namespace runtime_test;

// The stored user name (URL-safe Base64) is sent as stored.
constexpr char kUrl[] =
    "http://srv:8080/mod/client_check/ajax.php?tradecode=get_guest_netcode"
    "&user_name=5byg5LiJ:,.&device_id=7";
constexpr char kReauthenticate[] = "申请来宾上网码失败，请重新做身份认证以修复此问题";

std::string page_of(const std::string& heading, const std::string& code) {
    return "<Html><body style=\"text-align:center\" scroll=\"auto\"><br>" + heading +
           "<br><br><B><U><font color=red>" + code + "</font></U></B></body></html>";
}

constexpr char kRegistered[] =
    "DeviceId=7;LastAuthType=User;WebUrl=http://srv:8080;UserName=5byg5LiJ:,.";

struct GuestCase {
    const char* name;
    const char* settings;  // changes to the registered user's; none: the server is asked
    const char* answer;    // the server's, null: no answer
    const char* heading;   // as the page carries it
    const char* code;
    const char* error;  // the level-1 trace, "": none
};

const GuestCase kCases[] = {
    {"DeviceIdZero", "DeviceId=0", nullptr, "申请来宾上网码失败，此设备可能没有注册", "",
     "没有找到设备ID"},
    {"DeviceIdLeadingZero", "DeviceId=012", nullptr, "申请来宾上网码失败，此设备可能没有注册", "",
     "没有找到设备ID"},
    {"DeviceIdAbsent", "DeviceId", nullptr, "申请来宾上网码失败，此设备可能没有注册", "",
     "没有找到设备ID"},
    {"GuestInAnyCase", "LastAuthType=gUEST", nullptr, "此设备目前没有权限申请来宾上网码", "",
     "最后认证类型为Guest或此用户还没有认证通过"},
    {"LastAuthTypeAbsent", "LastAuthType", nullptr, "此设备目前没有权限申请来宾上网码", "",
     "最后认证类型为Guest或此用户还没有认证通过"},
    {"WebUrlEmpty", "WebUrl=", nullptr, kReauthenticate, "", "没有找到检查页面"},
    {"UserNameAbsent", "UserName", nullptr, kReauthenticate, "", "没有找到用户名"},
    {"NoAnswer", "", nullptr, "申请来宾上网码失败, 请检查您的网络是否正常", "", "取来宾上网码失败"},
    {"CodeInQuotes", "", "var guestCODE = 'K7Q2-19'; __res = ok", "申请来宾上网码成功:", "K7Q2-19",
     ""},
    {"ExplanationWithItsLeadingBlank", "", "Code=0;__RES = 无权限", " 无权限", "",
     "取来宾上网码失败"},
    {"NeitherMarker", "", "error", "申请来宾上网码失败", "", "取来宾上网码失败"},
    {"MarkupStaysText", "", "__res = <script>alert(1)</script><b onclick=\"x\">it's A&B</b>",
     " &lt;script&gt;alert(1)&lt;/script&gt;&lt;b onclick=&quot;x&quot;&gt;it&#39;s "
     "A&amp;B&lt;/b&gt;",
     "", "取来宾上网码失败"},
    {"MarkupInTheCode", "", "code:'<img src=x onerror=y>&'",
     "申请来宾上网码成功:", "&lt;img src=x onerror=y&gt;&amp;", ""},
};

void PrintTo(const GuestCase& c, std::ostream* out) {
    *out << c.name;
}

class GuestCode : public RuntimeFixture, public testing::WithParamInterface<GuestCase> {};

TEST_P(GuestCode, PageShowsTheOutcome) {
    const GuestCase& c = GetParam();
    configure(kRegistered, c.settings);
    http_.answer("HttpGet", c.answer != nullptr ? 1 : 0, c.answer);

    EXPECT_EQ(1, RequestGuestMask());

    const bool asks = c.settings[0] == '\0';
    EXPECT_EQ(asks ? std::vector<std::string>{kUrl} : std::vector<std::string>{}, urls_asked());
    EXPECT_GBK_EQ(page_of(c.heading, c.code), read_file(home_.path("GuestMaskPage.html")));
    std::string errors;
    for (const auto& record : traces_.find("RequestGuestMask")) {
        EXPECT_EQ("QuarnAssAutoCheck.cpp", record.source);
        if (record.level == 1) errors += record.message.substr(0, record.message.find(" Error="));
    }
    EXPECT_GBK_EQ(c.error, errors);
    EXPECT_GBK_EQ(
        "dialog 入网小助手-来宾上网码申请|" + agent_path("GuestMaskPage.html") + "|320x160|0|",
        started(1).at(0));
}

INSTANTIATE_TEST_SUITE_P(EachOutcome, GuestCode, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

using GuestPage = RuntimeFixture;

TEST_F(GuestPage, ThatCannotBeWrittenIsNoPage) {
    configure("DeviceId=0", "");
    std::filesystem::create_directory(home_.path("GuestMaskPage.html"));

    EXPECT_EQ(0, RequestGuestMask());

    EXPECT_EQ(1u, traces_.find("RequestGuestMask", "创建HTML修复页面文件失败").size());
    os::sleep_ms(200);
    EXPECT_TRUE(started(0).empty());
}

TEST(ParseGuestCode, TakesTheTextBetweenTheFirstTwoQuotesAfterCode) {
    const std::string long_answer = "'x' CODE='" + std::string(300, 'k') + "'";
    const struct {
        const char* answer;
        int found;
        std::string code;
    } rows[] = {{nullptr, 0, "untouched"},
                {"Code = 'only one quote", 0, "untouched"},
                {long_answer.c_str(), 1, std::string(259, 'k')}};
    for (const auto& row : rows) {
        char code[260] = "untouched";
        EXPECT_EQ(row.found, ParseGuestCode(row.answer, code));
        EXPECT_EQ(row.code, code);
    }
    EXPECT_EQ(1, ParseGuestCode("code 'x'", nullptr));
}

}  // namespace
