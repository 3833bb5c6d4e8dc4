// The credential members: each one's address, banners and texts for an
// accepted answer, an answer without IDs and no answer; the refusals before
// any request; the answer's IDs.
#include "autocheck/identity/credential_auth.h"

#include <algorithm>
#include <string>

#include "tests/autocheck/identity/credential_fixture.h"

namespace {

using namespace quarn::test;

#define URL "http://srv:8080/mod/client_check/ajax.php?tradecode=net_auth&type="
#define USER_FIELDS "user_name=Pz8.fn5,Pw::&password="
// A member's failure texts: its name in the traces and in the user log, the
// blanks before "Response".
#define TEXTS(trace_word, log_word, blanks)                                               \
    trace_word "身份认证失败", log_word "方式身份认证失败: AuthUrl ", blanks "Response ", \
        "没有取到角色ID和策略ID，" trace_word "身份认证失败"

struct MemberCase {
    const char* name;
    int (*run)();
    const char* function;  // also the name in its banners
    int enter_before, enter_after, leave_before, leave_after;
    const char* url;
    const char* logged_url;  // in the user log: the password's value masked
    const char* get_failure;
    const char* parse_log;       // before the URL
    const char* response_label;  // between the URL and the answer
    const char* parse_trace;
};

const MemberCase kMembers[] = {
    {"UserAuth", [] { return UserAuth(); }, "UserAuth", 37, 43, 41, 39,
     URL "User&" USER_FIELDS "cGFzcw::&deviceid=12", URL "User&" USER_FIELDS "***&deviceid=12",
     TEXTS("USER", "User", "  ")},
    {"UserAuthEmptyStoredName", [] { return (Call_TarnWriteConfig("UserName", ""), UserAuth()); },
     "UserAuth", 37, 43, 41, 39, URL "User&user_name=&password=cGFzcw::&deviceid=12",
     URL "User&user_name=&password=***&deviceid=12", TEXTS("USER", "User", "  ")},
    {"EmailAuth", [] { return EmailAuth(); }, "EmailAuth", 37, 43, 37, 43,
     URL "Email&email=Pz8.fn5,Pw::&email_password=cGFzcw::&deviceid=12",
     URL "Email&email=Pz8.fn5,Pw::&email_password=***&deviceid=12", TEXTS("Email", "Email", " ")},
    {"NoAuth", [] { return NoAuth(); }, "NoAuth", 36, 44, 37, 43, URL "NoAuth&deviceid=12",
     URL "NoAuth&deviceid=12", TEXTS("NoAuth", "NoAuth", " ")},
    {"ADAutoAuth", [] { return ADAutoAuth(kPlainUser, "a>b?c"); }, "ADAutoAuth", 37, 43, 38, 42,
     URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=YT5iP2M:&deviceid=12",
     URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=YT5iP2M:&deviceid=12",
     TEXTS("ADAutoAuth", "ADAutoAuth", " ")},
    {"ADAutoAuthEmptyDomain", [] { return ADAutoAuth(kPlainUser, ""); }, "ADAutoAuth", 37, 43, 38,
     42, URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=&deviceid=12",
     URL "ADAutoLogin&user_name=Pz8.fn5,Pw::&domain_name=&deviceid=12",
     TEXTS("ADAutoAuth", "ADAutoAuth", " ")},
    {"WithUserPassword", [] { return UserAuthWithUserPassword(kPlainUser, "~~~?"); },
     "UserAuthWithUserPassword", 37, 43, 41, 39, URL "User&" USER_FIELDS "fn5,Pw::&deviceid=12",
     URL "User&" USER_FIELDS "***&deviceid=12", TEXTS("USER", "User", "  ")},
    {"WithEmptyPassword", [] { return UserAuthWithUserPassword(kPlainUser, ""); },
     "UserAuthWithUserPassword", 37, 43, 41, 39, URL "User&" USER_FIELDS "&deviceid=12",
     URL "User&" USER_FIELDS "&deviceid=12", TEXTS("USER", "User", "  ")},
};

class Members : public CredentialFixture, public testing::WithParamInterface<MemberCase> {};

TEST_P(Members, StoreTheIdsOfEveryAnswerAndNothingWithoutOne) {
    const MemberCase& c = GetParam();
    const std::string enter = std::string(c.enter_before, '-') + "进入 " + c.function +
                              std::string(c.enter_after, '-') + "\n";
    const std::string leave = std::string(c.leave_before, '-') + "退出 " + c.function +
                              std::string(c.leave_after, '-') + "\n";
    const std::string url = c.url;
    const std::string logged = c.logged_url;

    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, c.run());
    EXPECT_EQ(url + "\n", sent("HttpGet"));
    EXPECT_EQ("5,8", writes("RoleId") + "," + writes("PolicyId"));
    EXPECT_GBK_EQ(enter + "角色ID：5 策略ID: 8\n" + leave, user_log());
    EXPECT_GBK_EQ("", traced(c.function));

    configure();
    http_.answer("HttpGet", 1, "RoleID=3");
    EXPECT_EQ(0, c.run());
    EXPECT_EQ("0,0", writes("RoleId") + "," + writes("PolicyId"));
    EXPECT_GBK_EQ(enter + c.parse_log + logged + c.response_label + "RoleID=3\n" +
                      "角色ID：0 策略ID: 0\n" + leave,
                  user_log());
    EXPECT_GBK_EQ(c.parse_trace, traced(c.function));

    // No answer: the earlier role and policy stay.
    configure();
    http_.answer("HttpGet", 0);
    EXPECT_EQ(0, c.run());
    EXPECT_EQ("", writes("RoleId") + writes("PolicyId"));
    EXPECT_GBK_EQ(enter + "HttpGet 失败: " + logged + "\n", user_log());
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
    // clang-format off
    EXPECT_GBK_EQ(
        "-------------------------------------进入 UserAuth-------------------------------------------\n"
        "User方式身份认证失败: AuthUrl " URL "User&" USER_FIELDS "***&deviceid=12  Response no ids\n"
        "角色ID：0 策略ID: 0\n"
        "-----------------------------------------退出 UserAuth---------------------------------------\n",
        user_log());
    // clang-format on
    EXPECT_GBK_EQ("RoleId: 0 PolicyId: 0", traced("UserAuth", kTraceInfo));
}

TEST_F(CredentialAuth, AnEmptyGivenUserNameAuthenticatesTheDeviceAlone) {
    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, UserAuthWithUserPassword("", "secret"));
    EXPECT_EQ(URL "NoAuth&deviceid=12\n", sent("HttpGet"));
    EXPECT_GBK_EQ(std::string(37, '-') + "进入 UserAuthWithUserPassword" + std::string(43, '-') +
                      "\n" + std::string(36, '-') + "进入 NoAuth" + std::string(44, '-') +
                      "\n角色ID：5 策略ID: 8\n" + std::string(37, '-') + "退出 NoAuth" +
                      std::string(43, '-') + "\n",
                  user_log());
    EXPECT_GBK_EQ("以指定的用户名和密码进行认证 ", traced("UserAuthWithUserPassword", kTraceInfo));
}

// A text of whole three-byte groups has no padding: it is sent, not refused.
// A name too long to encode whole is sent as an empty field.
TEST_F(CredentialAuth, FieldsAreSentWholeOrEmpty) {
    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, UserAuthWithUserPassword("abc", "abcdef"));
    EXPECT_EQ(URL "User&user_name=YWJj&password=YWJjZGVm&deviceid=12\n", sent("HttpGet"));
    configure();
    http_.answer("HttpGet", 1, kAccepted);
    EXPECT_EQ(1, ADAutoAuth(std::string(600, 'u').c_str(), "CORP"));
    EXPECT_EQ(URL "ADAutoLogin&user_name=&domain_name=Q09SUA::&deviceid=12\n", sent("HttpGet"));
}

// Refused before any request: the trace says why, nothing is stored.
struct RefusalCase {
    const char* name;
    const char* left_out;  // key not configured
    int (*run)();
    const char* function;
    const char* error;
    long log_lines;
};

const RefusalCase kRefusals[] = {
    {"NoDeviceId", "DeviceId", [] { return UserAuth(); }, "UserAuth", "没有找到设备ID", 1},
    {"NoAuthWithoutDeviceId", "DeviceId", [] { return NoAuth(); }, "NoAuth", "没有找到设备ID", 1},
    {"HostTooLong", "",
     [] {
         Call_TarnWriteConfig("WebUrl", ("http://" + std::string(64, 'h') + ":80").c_str());
         return EmailAuth();
     },
     "EmailAuth", "没有找到检查页面", 1},
    {"NoUserName", "UserName", [] { return UserAuth(); }, "UserAuth", "没有找到用户名", 1},
    {"NoPassword", "Password", [] { return EmailAuth(); }, "EmailAuth", "没有找到用户密码", 1},
    {"NoDomain", "", [] { return ADAutoAuth(kPlainUser, nullptr); }, "ADAutoAuth", "", 1},
    {"NoGivenPassword", "", [] { return UserAuthWithUserPassword("u", nullptr); },
     "UserAuthWithUserPassword", "参数不正确", 1},
    // Its encoding would not fit whole: a cut name is never sent.
    {"GivenUserTooLong", "",
     [] { return UserAuthWithUserPassword(std::string(600, 'u').c_str(), "p"); },
     "UserAuthWithUserPassword", "用户名加密失败", 1},
    {"GivenPasswordTooLong", "",
     [] { return UserAuthWithUserPassword("u", std::string(600, 'p').c_str()); },
     "UserAuthWithUserPassword", "密码加密失败", 1},
    {"HttpClientNotBound", "", [] { return (HttpGet = nullptr, NoAuth()); }, "NoAuth",
     "NoAuth身份认证失败", 2},
};

class Refusals : public CredentialFixture, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, SendNothingAndStoreNothing) {
    const RefusalCase& c = GetParam();
    configure(c.left_out);
    EXPECT_EQ(0, c.run());
    EXPECT_EQ("", sent("HttpGet"));
    EXPECT_EQ("", writes("RoleId") + writes("PolicyId"));
    EXPECT_GBK_EQ(c.error, traced(c.function));
    const std::string log = user_log();
    EXPECT_EQ(c.log_lines, std::count(log.begin(), log.end(), '\n'));
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
        std::string ids;  // role,policy when found
    } rows[] = {
        {"RoleID='3' PolicyID='12'", true, 1, "3,12"},
        {"roleid='7' POLICYID='2'", true, 1, "7,2"},
        {"PolicyID='2' RoleID='7'", true, 1, "7,2"},
        {"RoleID=7 PolicyID=2", true, 0, ""},
        {"PolicyID='2' RoleID='7", true, 0, ""},
        {"RoleID='' PolicyID=''", true, 1, ","},
        {"RoleID='" + id63 + "' PolicyID='1'", true, 1, id63 + ",1"},
        {"RoleID='" + id63 + "9' PolicyID='1'", true, 0, ""},
        {"RoleID='3'", true, 0, ""},
        {"PolicyID='5'", false, 1, ",5"},
    };
    for (const auto& row : rows) {
        char role[64] = {};
        char policy[64] = {};
        const int result =
            ParseAuthReply(row.answer.c_str(), row.want_role ? role : nullptr, policy);
        EXPECT_EQ(row.result, result) << row.answer;
        if (result == 1) {
            EXPECT_EQ(row.ids, std::string(role) + "," + policy) << row.answer;
        }
    }
    char role[64] = {};
    EXPECT_EQ(0, ParseAuthReply(nullptr, role, nullptr));
}

}  // namespace
