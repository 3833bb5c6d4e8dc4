// The unattended authentication: each row sets the gates, the policy's
// domain logon, the domain module's answer and the remembered method, and
// reads back which method ran (its request or its trace), the result, the
// dispatcher's user-log lines and traces. The domain check goes through the
// real module-call component to the domain-check double.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autocheck/bound_modules.h"
#include "autocheck/identity/identity_dispatch.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

constexpr char kDomainYes[] =
    "<Result><CheckType><Result>yes</Result></CheckType><Info><CurLogonUser>lee</CurLogonUser>"
    "<DomainName>CORP</DomainName></Info></Result>";
constexpr char kDomainNo[] = "<Result><CheckType><Result>No</Result></CheckType></Result>";
constexpr char kMissing[] = "(missing)";
constexpr char kAccepted[] = "RoleID='5' PolicyID='8'";

enum Domain { kNoModule, kAnswersYes, kAnswersNo };

struct DispatchCase {
    const char* name;
    const char* device_id;
    const char* is_forbid;
    const char* allow;  // AllowAuthType
    Domain domain;
    const char* last_type;  // LastAuthType
    const char* auto_auth;  // IsAutoAuth
    bool server_accepts;    // the HTTP double answers with IDs
    // Outcome.
    const char* ran;  // the method that ran: its request type, "Ukey", "ePass" or "-"
    int result;
    std::string log;    // the dispatcher's own user-log lines after the banner, "|"-joined
    const char* trace;  // the dispatcher's traces, "<level> <text>|…"
    const char* down_path = nullptr;  // ServerDownPath instead of the assistant directory
};

const std::string kExit = std::string(37, '-') + "退出 DoIdentityAuth" + std::string(40, '-');
const std::string kPassed = "身份认证结果: 1|" + kExit;
const std::string kFailed = "身份认证结果: 0|" + kExit;

// A download folder that fits its key, not with the module's name after it.
const std::string kLongBase(250, 'd');
const std::string kLongTrace =
    "1 域检查模块路径太长, 不做域登录检查: " + kLongBase + "QuarnCheckDomain.dll";

const DispatchCase kCases[] = {
    {"Unregistered", "0", kMissing, "", kNoModule, "User", "Yes", true, "-", 0,
     "没有找到设备ID, 身份认证失败", "1 没有找到设备ID, 不做身份认证"},
    {"DeviceIdNotANumber", "abc", kMissing, "", kNoModule, "User", "Yes", true, "-", 0,
     "没有找到设备ID, 身份认证失败", "1 没有找到设备ID, 不做身份认证"},
    {"IsolatedEvenInTheDomain", "12", "1", "ADAutoLogin", kAnswersYes, "User", "Yes", true, "-", 0,
     "此设备已被隔离，身份认证失败", "1 此设备已被隔离，不做自动身份认证"},
    {"DomainLogonWins", "12", "0", "User,adautologin,Ukey", kAnswersYes, "User", "No", true,
     "ADAutoLogin", 1, "域登录自动身份认证成功", ""},
    {"DomainLogonRefusedEndsIt", "12", kMissing, "ADAutoLogin", kAnswersYes, "User", "Yes", false,
     "ADAutoLogin", 0, "域登录自动身份认证失败: 登录用户名 lee 域名 CORP",
     "1 域登录自动身份认证失败"},
    {"NotInDomainGoesOn", "12", kMissing, "ADAutoLogin", kAnswersNo, "User", "Yes", true, "User", 1,
     "此用户没有登录到域中, 域登录自动身份认证失败|" + kPassed, "2 此用户没有登录到域中"},
    {"DomainModuleMissingGoesOn", "12", kMissing, "ADAutoLogin", kNoModule, "Email", "", true,
     "Email", 1, kPassed, ""},
    {"DomainNotAllowed", "12", kMissing, "User", kAnswersYes, "user", "Yes", true, "User", 1,
     kPassed, ""},
    {"NoLastType", "12", kMissing, "", kNoModule, kMissing, "Yes", true, "-", 0,
     "没有取到最后认证类型", "1 没有取到身份认证类型"},
    {"PhoneRefused", "12", kMissing, "", kNoModule, "TEL", "Yes", true, "-", 0,
     "手机身份认证，无法做自动认证", "1 不处理手机身份认证"},
    {"UserWithoutAutoAuth", "12", kMissing, "", kNoModule, "User", kMissing, true, "-", 0,
     "用户没有选择自动认证", "1 用户没有选择自动身份认证"},
    {"EpassWithoutAutoAuth", "12", kMissing, "", kNoModule, "Ukey_ePass1000ND", "no", true, "-", 0,
     "用户没有选择自动认证", "1 用户没有选择自动身份认证"},
    {"EpassRunsAndFails", "12", kMissing, "", kNoModule, "Ukey_ePass1000ND", "Yes", true, "ePass",
     0, kFailed, "1 Ukey_ePass1000ND 认证失败"},
    {"UkeyRunsWithoutAutoAuth", "12", kMissing, "", kNoModule, "UKEY", kMissing, true, "Ukey", 0,
     kFailed, "1 UKEY认证失败"},
    {"NoAuthRunsWithoutAutoAuth", "12", kMissing, "", kNoModule, "NoAuth", "No", true, "NoAuth", 1,
     kPassed, ""},
    {"NoAuthRefusedByTheServer", "12", kMissing, "", kNoModule, "noauth", "No", false, "NoAuth", 0,
     kFailed, "1 NoAuth 认证失败"},
    {"UnknownType", "12", kMissing, "", kNoModule, "Guest", "Yes", true, "-", 0,
     "未知的身份认证类型：Guest|" + kFailed, "1 未知的身份认证类型：Guest"},
    {"NoDownPathUsesTheAssistantDir", "12", "0", "ADAutoLogin", kAnswersYes, "User", "No", true,
     "ADAutoLogin", 1, "域登录自动身份认证成功", "1 取服务器的Download目录失败，检查可能会出问题",
     kMissing},
    {"DomainModulePathTooLong", "12", kMissing, "ADAutoLogin", kNoModule, "Email", "Yes", true,
     "Email", 1, kPassed, kLongTrace.c_str(), kLongBase.c_str()},
};

class Dispatch : public testing::TestWithParam<DispatchCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        ASSERT_TRUE(http_.load(fake_path("QuarnHttpClient.dll")));
        HttpGet = reinterpret_cast<sibling::HttpGetFunction>(http_.symbol("HttpGet"));
        ASSERT_TRUE(home_.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
        clock_.local = {2026, 12, 1, 7, 8, 30, 15, 0};  // a Monday
        os::seams::install_fake_clock(&clock_);
        const char* const settings[][2] = {
            {"WebUrl", "http://srv:8080"}, {"UserName", "dXNlcg::"}, {"Password", "cGFzcw::"}};
        for (const auto& setting : settings) Call_TarnWriteConfig(setting[0], setting[1]);
    }
    void TearDown() override {
        os::seams::install_fake_clock(nullptr);
        HttpGet = nullptr;
    }

    void set(const char* key, const char* value) {
        if (std::string(value) != kMissing) Call_TarnWriteConfig(key, value);
    }
    std::string stored(const char* key) const {
        char value[64] = "(none)";
        ReadConfigText(key, value, sizeof value);
        return value;
    }
    // The method that ran, told by what it sent or traced.
    std::string ran() {
        const auto gets = http_.calls_of("HttpGet");
        if (!gets.empty()) {
            const std::string& url = gets[0].arguments;
            const std::size_t type = url.find("type=") + 5;
            return url.substr(type, url.find('&', type) - type);
        }
        if (!traces_.find("UKeyAuth").empty()) return "Ukey";
        if (!traces_.find("UKeyAuth_ePass1000ND").empty()) return "ePass";
        return "-";
    }
    // The user log without its time stamps.
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        for (const auto& call : log_.calls_of("TarnLogToFile")) {
            lines.push_back(call.arguments.substr(29, call.arguments.size() - 30));
        }
        return lines;
    }

    FakeModule config_, log_, http_, domain_;
    AssistantHome home_;
    TraceCapture traces_;
    os::seams::FakeClock clock_;
};

TEST_P(Dispatch, GatesThenDomainLogonThenTheRememberedMethod) {
    const DispatchCase& c = GetParam();
    set("DeviceId", c.device_id);
    set("IsForbid", c.is_forbid);
    set("AllowAuthType", c.allow);
    set("LastAuthType", c.last_type);
    set("IsAutoAuth", c.auto_auth);
    set("ServerDownPath", c.down_path != nullptr ? c.down_path : home_.dir().c_str());
    if (c.domain != kNoModule) {
        ASSERT_TRUE(home_.add(fake_path("QuarnCheckDomain.dll"), "QuarnCheckDomain.dll"));
        ASSERT_TRUE(domain_.load(home_.path("QuarnCheckDomain.dll")));
        domain_.answer("CheckDomainUser", 0, c.domain == kAnswersYes ? kDomainYes : kDomainNo);
    }
    http_.answer("HttpGet", c.server_accepts ? 1 : 0, c.server_accepts ? kAccepted : nullptr);
    traces_.clear();

    EXPECT_EQ(c.result, DoIdentityAuth());

    EXPECT_EQ(c.ran, ran());
    if (c.domain != kNoModule && std::string(c.allow).find("utoLogin") != std::string::npos &&
        std::string(c.is_forbid) != "1") {
        ASSERT_EQ(1u, domain_.calls_of("CheckDomainUser").size());
        EXPECT_EQ("<CheckType></CheckType>", domain_.calls_of("CheckDomainUser")[0].arguments);
    }
    // The time stamps come first, also before a refusal.
    EXPECT_EQ("2026-12-07 08:30:15", stored("AuthTime"));
    EXPECT_EQ("2026-12-07 08:30:15", stored("CheckTime"));
    EXPECT_EQ("1", stored("CheckDayOfWeek"));
    EXPECT_EQ("12", stored("CheckMonth"));

    // The dispatcher's own lines after its entry banner; the method's own
    // (its banners, its IDs, its failures) are left out.
    const auto lines = log_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::string(37, '-') + "进入 DoIdentityAuth" + std::string(43, '-'), lines[0]);
    std::string own;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const bool banner =
            (line.find("进入 ") != std::string::npos || line.find("退出 ") != std::string::npos) &&
            line.find("DoIdentityAuth") == std::string::npos;
        const bool method_line = banner || line.rfind("角色ID", 0) == 0 ||
                                 line.rfind("HttpGet", 0) == 0 ||
                                 line.find("方式身份认证失败") != std::string::npos;
        if (!method_line) own += (own.empty() ? "" : "|") + line;
    }
    EXPECT_GBK_EQ(c.log, own);

    std::string traced_lines;
    for (const auto& record : traces_.find("DoIdentityAuth")) {
        traced_lines += (traced_lines.empty() ? "" : "|") + std::to_string(record.level) + " " +
                        record.message.substr(0, record.message.find(" Error="));
    }
    EXPECT_GBK_EQ(c.trace, traced_lines);
}

INSTANTIATE_TEST_SUITE_P(Rows, Dispatch, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DispatchCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

}  // namespace
