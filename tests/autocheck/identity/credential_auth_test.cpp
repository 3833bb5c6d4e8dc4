// The credential members: each one's address, banners and texts for an
// accepted answer, an answer without IDs and no answer; the refusals before
// any request; the answer's IDs.
#include "autocheck/identity/credential_auth.h"

#include <string>

#include "tests/autocheck/identity/credential_fixture.h"

namespace {

using namespace quarn::test;

#define AUTH_URL "http://srv:8080/mod/client_check/ajax.php?tradecode=net_auth&type="

std::string join(const std::vector<std::string>& lines) {
    std::string joined;
    for (const auto& line : lines) joined += line + "\n";
    return joined;
}

struct MemberCase {
    const char* name;
    int (*run)();
    const char* function;
    const char* banner_name;
    int enter_before, enter_after, leave_before, leave_after;
    const char* url;
    const char* get_failure;
    const char* parse_log;       // before the URL
    const char* response_label;  // between the URL and the answer
    const char* parse_trace;
};

#define USER_TEXTS                                                       \
    "USER身份认证失败", "User方式身份认证失败: AuthUrl ", "  Response ", \
        "没有取到角色ID和策略ID，USER身份认证失败"

const MemberCase kMembers[] = {
    {"UserAuth", [] { return UserAuth(); }, "UserAuth", "UserAuth", 37, 43, 41, 39,
     AUTH_URL "User&user_name=Pz8.fn5,Pw::&password=cGFzcw::&deviceid=12", USER_TEXTS},
    {"UserAuthEmptyStoredName",
     [] {
         Call_TarnWriteConfig("UserName", "");
         return UserAuth();
     },
     "UserAuth", "UserAuth", 37, 43, 41, 39,
     AUTH_URL "User&user_name=&password=cGFzcw::&deviceid=12", USER_TEXTS},
    {"EmailAuth", [] { return EmailAuth(); }, "EmailAuth", "EmailAuth", 37, 43, 37, 43,
     AUTH_URL "Email&email=Pz8.fn5,Pw::&email_password=cGFzcw::&deviceid=12", "Email身份认证失败",
     "Email方式身份认证失败: AuthUrl ", " Response ", "没有取到角色ID和策略ID，Email身份认证失败"},
    {"NoAuth", [] { return NoAuth(); }, "NoAuth", "NoAuth", 36, 44, 37, 43,
     AUTH_URL "NoAuth&deviceid=12", "NoAuth身份认证失败", "NoAuth方式身份认证失败: AuthUrl ",
     " Response ", "没有取到角色ID和策略ID，NoAuth身份认证失败"},
    {"ADAutoAuth", [] { return ADAutoAuth(kPlainUser, "a>b?c"); }, "ADAutoAuth", "ADAutoAuth", 37,
     43, 38, 42, AUTH_URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=YT5iP2M:&deviceid=12",
     "ADAutoAuth身份认证失败", "ADAutoAuth方式身份认证失败: AuthUrl ", " Response ",
     "没有取到角色ID和策略ID，ADAutoAuth身份认证失败"},
    {"ADAutoAuthEmptyDomain", [] { return ADAutoAuth(kPlainUser, ""); }, "ADAutoAuth", "ADAutoAuth",
     37, 43, 38, 42, AUTH_URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=&deviceid=12",
     "ADAutoAuth身份认证失败", "ADAutoAuth方式身份认证失败: AuthUrl ", " Response ",
     "没有取到角色ID和策略ID，ADAutoAuth身份认证失败"},
    {"UserAuthWithUserPassword", [] { return UserAuthWithUserPassword(kPlainUser, "~~~?"); },
     "UserAuthWithUserPassword", "UserAuthWithUserPassword", 37, 43, 41, 39,
     AUTH_URL "User&user_name=Pz8.fn5,Pw::&password=fn5,Pw::&deviceid=12", USER_TEXTS},
    {"UserAuthWithEmptyPassword", [] { return UserAuthWithUserPassword(kPlainUser, ""); },
     "UserAuthWithUserPassword", "UserAuthWithUserPassword", 37, 43, 41, 39,
     AUTH_URL "User&user_name=Pz8.fn5,Pw::&password=&deviceid=12", USER_TEXTS},
};

class Members : public CredentialFixture, public testing::WithParamInterface<MemberCase> {};

TEST_P(Members, StoreTheIdsOfEveryAnswerAndNothingWithoutOne) {
    const MemberCase& c = GetParam();
    const std::string enter = std::string(c.enter_before, '-') + "进入 " + c.banner_name +
                              std::string(c.enter_after, '-');
    const std::string leave = std::string(c.leave_before, '-') + "退出 " + c.banner_name +
                              std::string(c.leave_after, '-');

    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, c.run());
    EXPECT_EQ(std::vector<std::string>{c.url}, requests("HttpGet"));
    EXPECT_EQ("3,12", stored("RoleId") + "," + stored("PolicyId"));
    EXPECT_GBK_EQ(enter + "\n角色ID：3 策略ID: 12\n" + leave + "\n", join(user_log()));
    EXPECT_GBK_EQ("", traced(c.function));

    // An answer without the IDs: "0" and "0" stored, the URL and answer logged.
    configure();
    http_.answer("HttpGet", 1, "RoleID=3");
    EXPECT_EQ(0, c.run());
    EXPECT_EQ("0,0", writes("RoleId") + "," + writes("PolicyId"));
    EXPECT_GBK_EQ(enter + "\n" + c.parse_log + c.url + c.response_label + "RoleID=3\n" +
                      "角色ID：0 策略ID: 0\n" + leave + "\n",
                  join(user_log()));
    EXPECT_GBK_EQ(c.parse_trace, traced(c.function));

    // No answer: the earlier role and policy stay.
    configure();
    http_.answer("HttpGet", 0);
    EXPECT_EQ(0, c.run());
    EXPECT_EQ("", writes("RoleId") + writes("PolicyId"));
    EXPECT_EQ("old", stored("RoleId"));
    EXPECT_GBK_EQ(enter + "\nHttpGet 失败: " + c.url + "\n", join(user_log()));
    EXPECT_GBK_EQ(c.get_failure, traced(c.function));
}

INSTANTIATE_TEST_SUITE_P(Rows, Members, testing::ValuesIn(kMembers),
                         [](const testing::TestParamInfo<MemberCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

using CredentialAuth = CredentialFixture;

TEST_F(CredentialAuth, UserAuthLogsItsBannersAndLinesInFull) {
    http_.answer("HttpGet", 1, "no ids");
    EXPECT_EQ(0, UserAuth());
    EXPECT_GBK_EQ(
        "-------------------------------------进入 "
        "UserAuth-------------------------------------------\n"
        "User方式身份认证失败: AuthUrl " AUTH_URL
        "User&user_name=Pz8.fn5,Pw::&password=cGFzcw::&deviceid=12  Response no ids\n"
        "角色ID：0 策略ID: 0\n"
        "-----------------------------------------退出 "
        "UserAuth---------------------------------------\n",
        join(user_log()));
    EXPECT_GBK_EQ("RoleId: 0 PolicyId: 0", traced("UserAuth", kTraceInfo));
}

TEST_F(CredentialAuth, AnEmptyGivenUserNameAuthenticatesTheDeviceAlone) {
    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, UserAuthWithUserPassword("", "secret"));
    EXPECT_EQ(std::vector<std::string>{AUTH_URL "NoAuth&deviceid=12"}, requests("HttpGet"));
    EXPECT_GBK_EQ(std::string(37, '-') + "进入 UserAuthWithUserPassword" + std::string(43, '-') +
                      "\n" + std::string(36, '-') + "进入 NoAuth" + std::string(44, '-') +
                      "\n角色ID：3 策略ID: 12\n" + std::string(37, '-') + "退出 NoAuth" +
                      std::string(43, '-') + "\n",
                  join(user_log()));
    EXPECT_GBK_EQ("以指定的用户名和密码进行认证 ", traced("UserAuthWithUserPassword", kTraceInfo));
}

// Refused before any request: only the trace says why, nothing is stored.
struct RefusalCase {
    const char* name;
    const char* left_out;  // key not configured
    int (*run)();
    const char* function;
    const char* error;
    std::size_t log_lines;
};

const RefusalCase kRefusals[] = {
    {"NoDeviceId", "DeviceId", [] { return UserAuth(); }, "UserAuth", "没有找到设备ID", 1},
    {"NoWebUrl", "WebUrl", [] { return NoAuth(); }, "NoAuth", "没有找到检查页面", 1},
    {"HostTooLong", nullptr,
     [] {
         Call_TarnWriteConfig("WebUrl", ("http://" + std::string(64, 'h') + ":80").c_str());
         return EmailAuth();
     },
     "EmailAuth", "没有找到检查页面", 1},
    {"NoUserName", "UserName", [] { return UserAuth(); }, "UserAuth", "没有找到用户名", 1},
    {"NoPassword", "Password", [] { return EmailAuth(); }, "EmailAuth", "没有找到用户密码", 1},
    {"NoDomain", nullptr, [] { return ADAutoAuth(kPlainUser, nullptr); }, "ADAutoAuth", "", 1},
    {"NoGivenPassword", nullptr, [] { return UserAuthWithUserPassword("u", nullptr); },
     "UserAuthWithUserPassword", "参数不正确", 1},
    {"GivenUserNoDeviceId", "DeviceId", [] { return UserAuthWithUserPassword("u", "p"); },
     "UserAuthWithUserPassword", "没有找到设备ID", 1},
    // Its encoding does not fit whole: a cut name is never sent.
    {"GivenUserTooLong", nullptr,
     [] { return UserAuthWithUserPassword(std::string(600, 'u').c_str(), "p"); },
     "UserAuthWithUserPassword", "用户名加密失败", 1},
    {"HttpClientNotBound", nullptr,
     [] {
         HttpGet = nullptr;
         return NoAuth();
     },
     "NoAuth", "NoAuth身份认证失败", 2},
};

class Refusals : public CredentialFixture, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, SendNothingAndStoreNothing) {
    const RefusalCase& c = GetParam();
    configure(c.left_out);
    EXPECT_EQ(0, c.run());
    EXPECT_TRUE(requests("HttpGet").empty());
    EXPECT_EQ("", writes("RoleId") + writes("PolicyId"));
    EXPECT_GBK_EQ(c.error, traced(c.function));
    EXPECT_EQ(c.log_lines, user_log().size());
}

INSTANTIATE_TEST_SUITE_P(Rows, Refusals, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<RefusalCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(ParseAuthReply, TakesEachIdBetweenTheFirstQuotesAfterItsKey) {
    const std::string id63(63, '9');
    const struct {
        std::string answer;
        bool want_role;
        int result;
        const char* role;
        const char* policy;
    } rows[] = {
        {"RoleID='3' PolicyID='12'", true, 1, "3", "12"},
        {"roleid='7' POLICYID='2'", true, 1, "7", "2"},
        {"PolicyID='2' RoleID='7'", true, 1, "7", "2"},
        {"RoleID=7 PolicyID=2", true, 0, nullptr, nullptr},
        {"PolicyID='2' RoleID='7", true, 0, nullptr, nullptr},
        {"RoleID='' PolicyID=''", true, 1, "", ""},
        {"RoleID='" + id63 + "' PolicyID='1'", true, 1, id63.c_str(), "1"},
        {"RoleID='" + id63 + "9' PolicyID='1'", true, 0, nullptr, nullptr},
        {"RoleID='3'", true, 0, nullptr, nullptr},
        {"PolicyID='5'", false, 1, nullptr, "5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer);
        char role[64] = {};
        char policy[64] = {};
        EXPECT_EQ(row.result,
                  ParseAuthReply(row.answer.c_str(), row.want_role ? role : nullptr, policy));
        if (row.role != nullptr) {
            EXPECT_EQ(row.role, std::string(role));
        }
        if (row.policy != nullptr) {
            EXPECT_EQ(row.policy, std::string(policy));
        }
    }
    char role[64] = {};
    EXPECT_EQ(0, ParseAuthReply(nullptr, role, nullptr));
}

}  // namespace
