// UpdateIdentityAuthPolicy: the request, the eight keys written in one pass
// or not at all, and the policy's user-log line.
#include "autocheck/policy/identity_auth_policy.h"

#include <cstdio>

#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;

constexpr const char* kKeys[] = {"CheckAgent",    "HowLongNotInsert",  "DefaultAuthType",
                                 "AllowAuthType", "IsAutoRepair",      "SupportNat",
                                 "SuportPraxa",   "CurrentEnforceType"};

struct PolicyCase {
    const char* name;
    const char* device_id;  // null: not stored
    bool answered;
    const char* omitted;  // the node left out of the policy
    const char* allow;    // AllowAuthType's text
    bool written;
    const char* error = nullptr;
    const char* web_url = "http://10.1.2.3:8080/tarn/";  // "": no server to ask
};

const PolicyCase kCases[] = {
    {"Complete", "042", true, "", "User,ADAutoLogin", true},
    {"WithoutEnforceTypeClearsIt", "", true, "CurrentEnforceType", "User", true},
    {"EmptyAllowAuthTypeIsStored", "042", true, "", "", true},
    {"WithoutSupportNat", "042", true, "SupportNat", "User", false},
    {"WithoutSuportPraxa", "042", true, "SuportPraxa", "User", false},  // not in the log line
    {"ServerSilent", "042", false, "", "User", false, "取身份认证策略失败"},
    {"DeviceIdMissing", nullptr, true, "", "User", false, "没有找到设备ID,可能是没有注册"},
    {"NoWebUrl", "042", true, "", "User", false, "没有找到检查页面", ""},
};

class IdentityAuthPolicy : public ExchangeTest, public testing::WithParamInterface<PolicyCase> {};

TEST_P(IdentityAuthPolicy, WritesAllEightKeysOrNone) {
    const PolicyCase& c = GetParam();
    const char* const values[] = {"Yes", "30", "User", c.allow, "1", "0", "1", "Dhcp"};
    std::string nodes[8];
    for (int i = 0; i < 8; ++i) {
        const std::string key = kKeys[i];
        if (key != c.omitted) nodes[i] = "<" + key + ">" + values[i] + "</" + key + ">";
        Call_TarnWriteConfig(kKeys[i], "old");
    }
    if (c.device_id != nullptr) Call_TarnWriteConfig("DeviceId", c.device_id);
    Call_TarnWriteConfig("WebUrl", c.web_url);
    const std::string reply = "<TARN><IdentityAuthPolicy>" + nodes[0] + nodes[1] + nodes[2] +
                              nodes[3] + nodes[4] + nodes[5] + nodes[6] + "</IdentityAuthPolicy>" +
                              nodes[7] + "</TARN>";
    queue(c.answered ? reply.c_str() : nullptr);
    begin();

    UpdateIdentityAuthPolicy();

    const std::string id = c.device_id != nullptr ? c.device_id : "";
    EXPECT_EQ(c.device_id != nullptr && *c.web_url != '\0'
                  ? Texts{document({"<TARN>", "\t<TradeCode>GetIdentityAuthPolicy</TradeCode>",
                                    "\t<AgentID>" + id + "</AgentID>", "</TARN>"})}
                  : Texts{},
              requests());
    Texts keys, lines;
    for (int i = 0; c.written && i < 8; ++i) {
        keys.push_back(kKeys[i] + ("|" + std::string(nodes[i].empty() ? "" : values[i])));
    }
    char line[512];
    std::snprintf(
        line, sizeof line,
        "%s身份认证策略信息: \t\t\t是否检查客户端 %s \t\t\tUKEY最大未插时间 %s \t\t\t默认认证类型 "
        "%s \t\t\t允许的认证类型 %s \t\t\t是否自动修复 %s \t\t\t是否支持NAT %s "
        "\t\t\t是否支持Praxa'dot1x\n",
        kLogTime, values[0], values[1], values[2], values[3], values[4], values[5]);
    if (c.written) lines.push_back(line);
    EXPECT_EQ(keys, writes());
    EXPECT_EQ(lines, log_lines());
    EXPECT_EQ(c.error != nullptr ? Texts{c.error} : Texts{},
              errors("UpdateIdentityAuthPolicy", "QuarnAssPolicyManager.cpp"));
}

INSTANTIATE_TEST_SUITE_P(Replies, IdentityAuthPolicy, testing::ValuesIn(kCases),
                         case_name<PolicyCase>);

}  // namespace
