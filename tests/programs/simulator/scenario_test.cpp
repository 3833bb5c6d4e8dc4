// The scenario file: the shipped ones load, and a mistake is refused at
// start-up with a message that names it.
#include "programs/simulator/scenario.h"

#include <gtest/gtest.h>

#include "support/gbk.h"

namespace {

using simulator::load_scenario;
using simulator::parse_scenario;

TEST(SimulatorScenario, ShippedScenariosLoadWithTheirPoliciesInGbk) {
    for (const char* name : {"sample.json", "fail.json"}) {
        SCOPED_TRACE(name);
        std::string error;
        const auto scenario = load_scenario(std::string(QUARNSIM_SCENARIOS) + "/" + name, &error);
        ASSERT_TRUE(scenario) << error;
        EXPECT_EQ(36537, scenario->udp_port);
        ASSERT_EQ(1u, scenario->devices.size());
        EXPECT_EQ("1001", scenario->devices[0].id);
        // The texts are GBK, as the wire carries them.
        EXPECT_GBK_EQ("测试终端", scenario->devices[0].name);
        EXPECT_NE(std::string::npos,
                  scenario->identity_policy.find("<SuportPraxa>0</SuportPraxa>"));
        ASSERT_EQ(1u, scenario->check_policies.count("*"));
        EXPECT_NE(std::string::npos, scenario->check_policies.at("*").find(
                                         "<Item><ItemID>101</ItemID><Key>Yes</Key>"));
        EXPECT_NE(std::string::npos,
                  scenario->check_items.at("101").find("<DLL>QuarnCheckProcess.dll</DLL>"));
        // Keyed by default: a fresh key each run, a signing key.
        EXPECT_EQ(64u, scenario->deployment_secret.size());
        EXPECT_TRUE(scenario->sign_key.has_value());
    }
    std::string error;
    const std::string sample = std::string(QUARNSIM_SCENARIOS) + "/sample.json";
    const auto first = load_scenario(sample, &error);
    const auto second = load_scenario(sample, &error);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->deployment_secret, second->deployment_secret);
    EXPECT_NE(*first->sign_key, *second->sign_key);
}

TEST(SimulatorScenario, MistakesAreRefusedWithWhatIsWrong) {
    const std::string policy =
        R"("identity_policy": {"CheckAgent": "Yes", "HowLongNotInsert": 5, "DefaultAuthType": "User",
            "AllowAuthType": "User", "IsAutoRepair": 0, "SupportNat": 0, "SuportPraxa": 0})";
    const struct {
        std::string json;
        const char* error;
    } cases[] = {
        {"{" + policy + "}", nullptr},
        {"{" + policy + ",", "parse error"},
        {"[]", "no JSON object"},
        {R"({"identity_policy": {"CheckAgent": "Yes"}})", "lacks HowLongNotInsert"},
        {"{" + policy + R"(, "devices": [{"id": 7}, {"id": "7"}]})", "device 7 is listed twice"},
        {"{" + policy + R"(, "devices": [{"name": "x"}]})", "a device without \"id\""},
        {"{" + policy + R"(, "ports": {"udp": 70000}})", "port \"udp\""},
        {"{" + policy + R"(, "users": [{"name": "u", "role_id": "3"}]})",
         "user u without \"policy_id\""},
        {"{" + policy + R"(, "check_policies": {"12": {"CheckItems": {"Item": {"ItemID": 9}}}}})",
         "names item 9, which is not defined"},
        {"{" + policy + R"(, "check_items": {"9": {"Name": "x"}}})", "item 9 has no \"CheckType\""},
        {"{" + policy + R"(, "guest_codes": [""]})", "guest code"},
        {"{" + policy + R"(, "security": "none"})", "\"security\" must be"},
        {"{" + policy + R"(, "sign_key": "AAAA"})", "\"sign_key\" must be"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        std::string error;
        const auto scenario = parse_scenario(c.json, &error);
        if (c.error == nullptr) {
            EXPECT_TRUE(scenario) << error;
        } else {
            EXPECT_FALSE(scenario);
            EXPECT_NE(std::string::npos, error.find(c.error)) << error;
        }
    }
}

}  // namespace
