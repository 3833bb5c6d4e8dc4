// What the simulated server answers, called as its ports call it: device
// registration, the fault period it keeps between reports, and the
// authentication types of the web root.
#include <gtest/gtest.h>

#include "cutil/xml.h"
#include "programs/simulator/scenario.h"
#include "programs/simulator/trades.h"
#include "programs/simulator/url_base64.h"
#include "programs/simulator/web.h"

namespace {

using namespace simulator;

constexpr char kScenario[] = R"({
  "register_unknown": true, "first_device_id": 2001,
  "devices": [{"id": "1001", "computer_name": "PC-A"}, {"id": "1002", "mac": "AA-BB"},
              {"id": "1003", "computer_name": "PC-F", "forbidden": true}],
  "users": [{"name": "zhang", "password": "pw", "email": "z@x.cn", "domain": "CORP",
             "role_id": "3", "policy_id": "12"}],
  "no_auth": {"role_id": "1", "policy_id": "2"},
  "certificates": [{"serial": "4A3F", "role_id": "5", "policy_id": "6"}],
  "serial_keys": [{"serial": "EP1", "password": "kp", "role_id": "7", "policy_id": "8"}],
  "guest_codes": ["G1", "G2"],
  "identity_policy": {"CheckAgent": "Yes", "HowLongNotInsert": 5, "DefaultAuthType": "User",
                      "AllowAuthType": "User", "IsAutoRepair": 0, "SupportNat": 0, "SuportPraxa": 0},
  "check_policies": {"*": {"CheckParam": {"IsSafeCheck": 1}}}
})";

class ServerAnswers : public testing::Test {
  protected:
    ServerAnswers() : state_(load()) {}
    static Scenario load() {
        std::string error;
        auto scenario = parse_scenario(kScenario, &error);
        EXPECT_TRUE(scenario) << error;
        return scenario ? *scenario : Scenario{};
    }

    // The trade's reply as a document.
    XmlDocument trade(const std::string& request) {
        const XmlDocument document(cutil_xml_import(request.c_str(), "test", "trade", __LINE__));
        const TradeAnswer answer = answer_trade(state_, document.get(), 0x7f000001);
        return XmlDocument(cutil_xml_import(answer.reply.c_str(), "test", "trade", __LINE__));
    }
    std::string reply_text(const std::string& request, const char* path) {
        const XmlDocument reply = trade(request);
        const char* text = cutil_xml_get(reply.get(), "%s", path);
        return text != nullptr ? text : "(none)";
    }
    WebAnswer web(std::map<std::string, std::string> params) {
        return client_ajax(state_, WebRequest{"GET", std::move(params)});
    }

    ServerState state_;
};

TEST_F(ServerAnswers, RegistrationMatchesNameAndMacWithoutCaseAndRegistersStrangersOnce) {
    const struct {
        const char* computer;
        const char* mac;
        const char* agent_id;
        const char* forbid;
    } cases[] = {
        {"PC-A", "11-11", "1001", "No"}, {"pc-a", "", "1001", "No"},
        {"PC-Z", "aa-bb", "1002", "No"}, {"PC-F", "", "1003", "Yes"},
        {"PC-NEW", "", "2001", "No"},    {"PC-NEW", "", "2001", "No"},
        {"PC-OTHER", "", "2002", "No"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.computer);
        const XmlDocument reply =
            trade(std::string("<TARN><TradeCode>QueryDevInfo</TradeCode>") + "<ComputerName>" +
                  c.computer + "</ComputerName><Mac>" + c.mac + "</Mac></TARN>");
        EXPECT_STREQ(c.agent_id, cutil_xml_get(reply.get(), "TARN/AgentID"));
        EXPECT_STREQ(c.forbid, cutil_xml_get(reply.get(), "TARN/IsForbid"));
    }
}

TEST_F(ServerAnswers, PolicyCarriesTheFaultPeriodOfEarlierReports) {
    const auto report = [&](const char* result, const char* update) {
        return reply_text(
            std::string("<TARN><Result><ItemID>1</ItemID></Result><UpdateFaultTime>") + update +
                "</UpdateFaultTime><CheckResult>" + result +
                "</CheckResult><TradeCode>ReportCheckResult</TradeCode>"
                "<AgentID>1001</AgentID></TARN>",
            "TARN/LastCheckId");
    };
    const std::string policy_request =
        "<TARN><TradeCode>GetSecurityCheckPolicy</TradeCode><AgentID>1001</AgentID>"
        "<RoleID>3</RoleID><PolicyID>12</PolicyID></TARN>";
    const auto record = [&] {
        const XmlDocument policy = trade(policy_request);
        EXPECT_EQ(
            1, cutil_xml_get_int(policy.get(), "TARN/SecurityCheckPolicy/CheckParam/IsSafeCheck"));
        return std::string(cutil_xml_get(policy.get(), "TARN/LastFaultTime")) + "|" +
               cutil_xml_get(policy.get(), "TARN/LastCheckResult");
    };
    const std::string none = "1970-01-01 00:00:00";
    EXPECT_EQ(none + "|none", record());
    EXPECT_EQ("1", report("fault", "now"));
    const std::string fault_start = record();
    EXPECT_NE(none + "|fault", fault_start);
    // "none" keeps the period running; a success ends it.
    EXPECT_EQ("2", report("false", "none"));
    EXPECT_EQ(fault_start.substr(0, 19) + "|false", record());
    EXPECT_EQ("3", report("success", "now"));
    EXPECT_EQ(none + "|success", record());
}

TEST_F(ServerAnswers, EveryAuthenticationTypeGrantsOnlyItsOwnCredentials) {
    const auto b64 = url_base64_encode;
    const struct {
        std::map<std::string, std::string> params;
        const char* granted;  // the answer's role and policy part, or null when refused
    } cases[] = {
        {{{"type", "User"}, {"user_name", b64("zhang")}, {"password", b64("pw")}},
         "RoleID='3'; PolicyID='12';"},
        {{{"type", "User"}, {"user_name", b64("zhang")}, {"password", b64("PW")}}, nullptr},
        {{{"type", "Email"}, {"email", b64("Z@X.cn")}, {"email_password", b64("pw")}},
         "RoleID='3'; PolicyID='12';"},
        {{{"type", "NoAuth"}}, "RoleID='1'; PolicyID='2';"},
        {{{"type", "ADAutoLogin"}, {"user_name", b64("ZHANG")}, {"domain_name", b64("corp")}},
         "RoleID='3'; PolicyID='12';"},
        {{{"type", "ADAutoLogin"}, {"user_name", b64("zhang")}, {"domain_name", b64("OTHER")}},
         nullptr},
        {{{"type", "UKey"}, {"certserial", "4a3f"}, {"certbase64", "MII"}},
         "RoleID='5'; PolicyID='6';"},
        {{{"type", "UKey"}, {"certserial", "FFFF"}}, nullptr},
        {{{"type", "UKey"}, {"user_name", b64("EP1")}, {"password", b64("kp")}},
         "RoleID='7'; PolicyID='8';"},
        {{{"type", "User"},
          {"user_name", b64("zhang")},
          {"password", b64("pw")},
          {"deviceid", "1003"}},
         nullptr},
        {{{"type", "User"},
          {"user_name", b64("zhang")},
          {"password", b64("pw")},
          {"deviceid", "9"}},
         nullptr},
        {{{"type", "Kerberos"}}, nullptr},
    };
    for (const auto& c : cases) {
        auto params = c.params;
        params.emplace("tradecode", "net_auth");
        params.emplace("deviceid", "1001");
        SCOPED_TRACE(params["type"] + " " + params["deviceid"]);
        const WebAnswer answer = web(params);
        if (c.granted != nullptr) {
            EXPECT_EQ(std::string("__res = 'ok'; ") + c.granted, answer.body);
        } else {
            EXPECT_EQ(0u, answer.body.rfind("__res = ", 0));
            EXPECT_EQ(std::string::npos, answer.body.find("RoleID"));
        }
    }
}

TEST_F(ServerAnswers, GuestCodesGoRoundTheListForRegisteredDevicesOnly) {
    const auto ask = [&](const char* device) {
        return web({{"tradecode", "get_guest_netcode"},
                    {"user_name", url_base64_encode("zhang")},
                    {"device_id", device}})
            .body;
    };
    EXPECT_EQ("__res = 'ok'; Code='G1';", ask("1001"));
    EXPECT_EQ("__res = 'ok'; Code='G2';", ask("1001"));
    EXPECT_EQ("__res = 'ok'; Code='G1';", ask("1002"));
    EXPECT_EQ(std::string::npos, ask("9").find("Code"));
}

}  // namespace
