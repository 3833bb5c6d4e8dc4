// UpdateIdentityAuthPolicy against the configuration, communication and log
// doubles: the request, the eight keys written in one pass or none, and the
// user-log line.
#include "autocheck/policy/identity_auth_policy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "tests/autocheck/identity/report_exchange_fixture.h"

namespace {

using namespace quarn::test;

constexpr const char* kKeys[] = {"CheckAgent",    "HowLongNotInsert",  "DefaultAuthType",
                                 "AllowAuthType", "IsAutoRepair",      "SupportNat",
                                 "SuportPraxa",   "CurrentEnforceType"};
constexpr char kUrl[] = "http://10.1.2.3:8080/tarn/";
const std::string kUrl64 = "http://" + std::string(64, 'h') + "/tarn/";

enum Reply { kPolicy, kFailed, kNoDocument };

struct PolicyCase {
    const char* name;
    const char* device_id;  // null: not stored
    const char* web_url;
    Reply reply;
    const char* omitted;                     // the node left out of the policy, "" none
    const char* allow = "User,ADAutoLogin";  // AllowAuthType's text
    const char* error = nullptr;             // the one level-1 trace
    bool sent = true;                        // a request went out
    bool written = true;                     // the eight keys were written
};

void PrintTo(const PolicyCase& c, std::ostream* out) {
    *out << c.name;
}

const PolicyCase kCases[] = {
    {"Complete", "042", kUrl, kPolicy, ""},
    {"EmptyDeviceIdIsSentEmpty", "", kUrl, kPolicy, ""},
    {"WithoutEnforceTypeClearsIt", "042", kUrl, kPolicy, "CurrentEnforceType"},
    {"EmptyAllowAuthTypeIsStored", "042", kUrl, kPolicy, "", ""},
    {"WithoutSupportNat", "042", kUrl, kPolicy, "SupportNat", "x", nullptr, true, false},
    // The one mandatory node the log line does not show.
    {"WithoutSuportPraxa", "042", kUrl, kPolicy, "SuportPraxa", "x", nullptr, true, false},
    {"DeviceIdMissing", nullptr, kUrl, kPolicy, "", "x", "没有找到设备ID,可能是没有注册", false,
     false},
    {"WebUrlMissing", "042", nullptr, kPolicy, "", "x", "没有找到检查页面", false, false},
    {"HostOf64", "042", kUrl64.c_str(), kPolicy, "", "x", "没有找到检查页面", false, false},
    {"ServerSilent", "042", kUrl, kFailed, "", "x", "取身份认证策略失败", true, false},
    {"AnsweredWithoutDocument", "042", kUrl, kNoDocument, "", "x", "取身份认证策略失败", true,
     false},
};

// The policy's texts in key order.
const char* const kValues[] = {"Yes", "30", "User", nullptr /* allow */, "1", "0", "1", "Dhcp"};

std::string node(const char* name, const PolicyCase& c, int index) {
    if (std::string(name) == c.omitted) return "";
    const char* text = index == 3 ? c.allow : kValues[index];
    return std::string("<") + name + ">" + text + "</" + name + ">";
}

class IdentityAuthPolicy : public ExchangeTest, public testing::WithParamInterface<PolicyCase> {};

TEST_P(IdentityAuthPolicy, WritesAllEightKeysOrNone) {
    const PolicyCase& c = GetParam();
    store({{"DeviceId", c.device_id}, {"WebUrl", c.web_url}});
    for (const char* key : kKeys) Call_TarnWriteConfig(key, "old");
    std::string policy;
    for (int i = 0; i < 7; ++i) policy += node(kKeys[i], c, i);
    const std::string reply =
        "<TARN><IdentityAuthPolicy>" + policy + "</IdentityAuthPolicy>" + node(kKeys[7], c, 7) +
        "<IsAutoRepair>9</IsAutoRepair></TARN>";  // not under the policy: not read
    if (c.reply == kPolicy) queue(reply.c_str());
    if (c.reply == kNoDocument) queue_reply(comm_, "GetUdpPacketFrom", 1, nullptr);
    begin();

    UpdateIdentityAuthPolicy();

    const std::string agent = c.device_id != nullptr ? c.device_id : "";
    const Texts request = {document({"<TARN>", "\t<TradeCode>GetIdentityAuthPolicy</TradeCode>",
                                     "\t<AgentID>" + agent + "</AgentID>", "</TARN>"})};
    EXPECT_EQ(c.sent ? request : Texts{}, requests());
    EXPECT_EQ(c.sent ? Texts{"10.1.2.3"} : Texts{}, hosts());
    EXPECT_EQ(c.error != nullptr ? Texts{c.error} : Texts{},
              errors("UpdateIdentityAuthPolicy", "QuarnAssPolicyManager.cpp"));

    Texts keys;
    Texts lines;
    if (c.written) {
        const bool enforce = std::string(c.omitted) != "CurrentEnforceType";
        const char* const values[] = {"Yes", "30", "User", c.allow,
                                      "1",   "0",  "1",    enforce ? "Dhcp" : ""};
        for (int i = 0; i < 8; ++i) keys.push_back(kKeys[i] + ("|" + std::string(values[i])));
        char line[512];
        std::snprintf(line, sizeof line,
                      "身份认证策略信息: \t\t\t是否检查客户端 %s \t\t\tUKEY最大未插时间 %s "
                      "\t\t\t默认认证类型 %s \t\t\t允许的认证类型 %s \t\t\t是否自动修复 %s "
                      "\t\t\t是否支持NAT %s \t\t\t是否支持Praxa'dot1x",
                      values[0], values[1], values[2], values[3], values[4], values[5]);
        lines.push_back(kLogTime + std::string(line) + "\n");
    }
    EXPECT_EQ(keys, writes());
    EXPECT_EQ(lines, log_lines());
}

INSTANTIATE_TEST_SUITE_P(Replies, IdentityAuthPolicy, testing::ValuesIn(kCases),
                         case_name<PolicyCase>);

}  // namespace
