// UpdateSecurityCheckPolicy against the configuration and communication
// doubles: the documents sent, the policy file written, the keys and their
// rules, and every way the update stops without touching file or keys.
#include "autocheck/policy/security_check_policy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "autocheck/pass_budget.h"
#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "interface/config_access.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/Communicate/communicate_script.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;
using Texts = std::vector<std::string>;

constexpr char kUdp[] = "GetUdpPacketFrom";
constexpr char kOld[] = "old";
const char* const kKeys[] = {"CheckPeriod",          "IsDoSecurityCheck", "IsHideIcon",
                             "CheckFailRecheckTime", "IsDisturb",         "AuthInterval",
                             "ShowNavigationMenu"};
const char* const kConnectionKeys[] = {"CheckDial", "CheckDoubleNetCard", "CheckIsCanUseWWW"};
const char* const kMonitorFiles[] = {"TarnProcMonT.dll", "SoftForbid.inf"};

// The words of `text` separated by blanks.
Texts words(const char* text) {
    Texts out;
    std::istringstream in(text);
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// A document's text form: the header line, then each line ended by CR LF.
std::string document(const Texts& lines) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string item_request(const std::string& item_id) {
    return document({"<TARN>", "\t<TradeCode>GetSecurityCheckItem</TradeCode>",
                     "\t<AgentID>42</AgentID>", "\t<ItemId>" + item_id + "</ItemId>", "</TARN>"});
}

// A policy reply: `check_param` inside CheckParam, one Item per id ("-": an
// Item without ItemID).
std::string policy_reply(const std::string& check_param, const char* item_ids) {
    std::string items;
    for (const std::string& id : words(item_ids)) {
        items +=
            id == "-" ? "<Item><Key>1</Key></Item>" : "<Item><ItemID>" + id + "</ItemID></Item>";
    }
    return "<TARN><SecurityCheckPolicy><CheckParam>" + check_param + "</CheckParam><CheckItems>" +
           items + "</CheckItems></SecurityCheckPolicy></TARN>";
}

std::string item_reply(const std::string& inside_name) {
    return "<TARN><CheckType><InsideName>" + inside_name + "</InsideName></CheckType></TARN>";
}

void queue(const FakeModule& comm, const std::string& reply, int result = 1) {
    queue_reply(comm, kUdp, result, cutil_xml_import(reply.c_str(), "test", "queue", __LINE__));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in ? content.str() : "(missing)";
}

template <class Case>
std::string case_name(const testing::TestParamInfo<Case>& param_info) {
    return param_info.param.name;
}

struct Ids {
    const char* device_id = "042";
    const char* role_id = "3";
    const char* policy_id = "7";
    const char* web_url = "http://10.1.2.3:8080/tarn/index.php";
};

// Old file, old keys and the monitor's files in place; the update's writes,
// requests and traces read back.
class PolicyUpdate : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        for (const char* key : kKeys) Call_TarnWriteConfig(key, kOld);
        for (const char* key : kConnectionKeys) Call_TarnWriteConfig(key, kOld);
        std::ofstream(home_.path(kSecurityCheckPolicyFile)) << kOld;
        for (const char* file : kMonitorFiles) std::ofstream(home_.path(file)) << kOld;
    }
    void TearDown() override {
        cutil_xml_testing_fail_allocations(nullptr);
        autocheck::pass_end();
        os::seams::install_fake_clock(nullptr);
    }

    // Stores the identifiers (a null one stays unstored) and runs the update.
    void run(const Ids& ids = {}) {
        const char* const values[] = {ids.device_id, ids.role_id, ids.policy_id, ids.web_url};
        const char* const keys[] = {"DeviceId", "RoleId", "PolicyId", "WebUrl"};
        for (int i = 0; i < 4; ++i) {
            if (values[i] != nullptr) Call_TarnWriteConfig(keys[i], values[i]);
        }
        writes_before_ = config_.calls_of("TarnWriteConfig").size();
        traces_.clear();
        UpdateSecurityCheckPolicy();
    }

    // "key|value" of each write of the update, in order.
    Texts writes() const {
        Texts out;
        const auto calls = config_.calls_of("TarnWriteConfig");
        for (std::size_t i = writes_before_; i < calls.size(); ++i)
            out.push_back(calls[i].arguments);
        return out;
    }

    // The seven keys with these values, then "No" to the connection keys.
    static Texts key_writes(const Texts& values, bool connection_checks_off) {
        Texts out;
        for (std::size_t i = 0; i < values.size(); ++i) out.push_back(kKeys[i] + ("|" + values[i]));
        if (connection_checks_off) {
            for (const char* key : kConnectionKeys) out.push_back(key + std::string("|No"));
        }
        return out;
    }

    Texts requests_sent(std::size_t from) const {
        Texts out;
        const auto sent = sent_requests(comm_);
        for (std::size_t i = from; i < sent.size(); ++i) out.push_back(sent[i].text);
        return out;
    }

    bool monitor_kept() const {
        return std::filesystem::exists(home_.path(kMonitorFiles[0])) &&
               std::filesystem::exists(home_.path(kMonitorFiles[1]));
    }

    // The update's messages of one level; an error's is cut before the
    // " Error=" text the trace channel appends.
    Texts messages(unsigned level) {
        Texts out;
        for (const auto& record : traces_.find("UpdateSecurityCheckPolicy")) {
            EXPECT_EQ("QuarnAssPolicyManager.cpp", record.source);
            if (record.level != level) continue;
            out.push_back(record.message.substr(0, record.message.find(" Error=")));
        }
        return out;
    }

    AssistantHome home_;
    FakeModule config_;
    FakeModule comm_;
    TraceCapture traces_;
    std::size_t writes_before_ = 0;
};

TEST_F(PolicyUpdate, ThreeItemsAreFetchedInOrderMergedIntoTheirItemsAndStoredWhole) {
    queue(comm_,
          "<TARN><SecurityCheckPolicy><CheckParam><IsSafeCheck>1</IsSafeCheck></CheckParam>"
          "<CheckItems><Item><ItemID>11</ItemID><Key>1</Key></Item><Item><ItemID>0012</ItemID>"
          "</Item><Item><ItemID>13</ItemID></Item></CheckItems></SecurityCheckPolicy>"
          "<LastCheckResult>success</LastCheckResult></TARN>");
    queue(comm_,
          "<TARN><CheckType><InsideName>CheckAntiVirus</InsideName></CheckType>"
          "<Rate>30</Rate></TARN>");
    queue(comm_, item_reply("CheckUnlawfulConnectOut"));
    queue(comm_,
          "<TARN><CheckType><InsideName>CheckSystemProcess</InsideName></CheckType>"
          "<Name>系统进程</Name></TARN>");

    run();

    EXPECT_EQ(Texts{document({"<TARN>", "\t<TradeCode>GetSecurityCheckPolicy</TradeCode>",
                              "\t<AgentID>42</AgentID>", "\t<RoleID>3</RoleID>",
                              "\t<PolicyID>7</PolicyID>", "</TARN>"})},
              Texts{requests_sent(0).at(0)});
    EXPECT_EQ((Texts{item_request("11"), item_request("0012"), item_request("13")}),
              requests_sent(1));
    for (const auto& call : comm_.calls_of(kUdp))
        EXPECT_EQ(0u, call.arguments.find("10.1.2.3|36537|"));
    EXPECT_GBK_EQ(document({"<TARN>",
                            "\t<SecurityCheckPolicy>",
                            "\t\t<CheckParam>",
                            "\t\t\t<IsSafeCheck>1</IsSafeCheck>",
                            "\t\t</CheckParam>",
                            "\t\t<CheckItems>",
                            "\t\t\t<Item>",
                            "\t\t\t\t<ItemID>11</ItemID>",
                            "\t\t\t\t<Key>1</Key>",
                            "\t\t\t\t<CheckType>",
                            "\t\t\t\t\t<InsideName>CheckAntiVirus</InsideName>",
                            "\t\t\t\t</CheckType>",
                            "\t\t\t\t<Rate>30</Rate>",
                            "\t\t\t</Item>",
                            "\t\t\t<Item>",
                            "\t\t\t\t<ItemID>0012</ItemID>",
                            "\t\t\t\t<CheckType>",
                            "\t\t\t\t\t<InsideName>CheckUnlawfulConnectOut</InsideName>",
                            "\t\t\t\t</CheckType>",
                            "\t\t\t</Item>",
                            "\t\t\t<Item>",
                            "\t\t\t\t<ItemID>13</ItemID>",
                            "\t\t\t\t<CheckType>",
                            "\t\t\t\t\t<InsideName>CheckSystemProcess</InsideName>",
                            "\t\t\t\t</CheckType>",
                            "\t\t\t\t<Name>系统进程</Name>",
                            "\t\t\t</Item>",
                            "\t\t</CheckItems>",
                            "\t</SecurityCheckPolicy>",
                            "\t<LastCheckResult>success</LastCheckResult>",
                            "</TARN>"}),
                  read_file(home_.path(kSecurityCheckPolicyFile)));
    // Both checks are in the policy: the connection settings and the monitor stay.
    EXPECT_EQ(key_writes(words("7 1 0 0 0 1 0"), false), writes());
    EXPECT_TRUE(monitor_kept());
    EXPECT_EQ(Texts{}, messages(1));
}

struct CompletedCase {
    const char* name;
    const char* is_safe_check;  // null: no such node
    const char* item_ids;       // "-": an Item without ItemID
    const char* inside_names;   // of the item replies, in order
    const char* requested;      // the ItemIds asked for
    const char* merged;         // per stored Item: with (Y) or without (N) a definition
    bool connection_checks_off, monitor_removed;
};

const CompletedCase kCompleted[] = {
    {"SafeCheckOff", "0", "11 12", "", "", "NN", true, true},
    {"SafeCheckAbsent", nullptr, "11", "", "", "N", true, true},
    {"ItemWithoutId", "1", "11 - 13", "CheckAntiVirus CheckFirewall", "11 13", "YNY", true, true},
    {"LowerCaseSystemProcess", "2", "11", "checksystemprocess", "11", "Y", true, false},
    {"MixedCaseConnectionCheck", "1", "11", "checkUnlawfulConnectOUT", "11", "Y", false, true},
};

class CompletedUpdate : public PolicyUpdate, public testing::WithParamInterface<CompletedCase> {};

TEST_P(CompletedUpdate, WritesKeysFileAndSettingsAsThePolicySays) {
    const CompletedCase& c = GetParam();
    const std::string safe_check =
        c.is_safe_check == nullptr
            ? ""
            : std::string("<IsSafeCheck>") + c.is_safe_check + "</IsSafeCheck>";
    queue(comm_, policy_reply(safe_check, c.item_ids));
    for (const std::string& name : words(c.inside_names)) queue(comm_, item_reply(name));

    run();

    Texts requests;
    for (const std::string& id : words(c.requested)) requests.push_back(item_request(id));
    EXPECT_EQ(requests, requests_sent(1));
    const char* safe = c.is_safe_check != nullptr ? c.is_safe_check : "-1";
    EXPECT_EQ(key_writes({"7", safe, "0", "0", "0", "1", "0"}, c.connection_checks_off), writes());
    const XmlDocument stored(cutil_xml_import_from_file(
        home_.path(kSecurityCheckPolicyFile).c_str(), "test", "stored", __LINE__));
    std::string merged;
    for (int n = 1; n <= cutil_xml_count(stored.get(), "TARN/SecurityCheckPolicy/CheckItems/Item");
         ++n) {
        const char* name = cutil_xml_get(
            stored.get(), "TARN/SecurityCheckPolicy/CheckItems/Item[%d]/CheckType/InsideName", n);
        merged += name != nullptr ? 'Y' : 'N';
    }
    EXPECT_EQ(c.merged, merged);
    EXPECT_EQ(!c.monitor_removed, monitor_kept());
    const std::string folder = home_.appdata() + "\\Quarn\\";
    Texts removal = {"开始卸载 TarnProcMon.dll", "Delete File " + folder + "TarnProcMonT.dll",
                     "Delete File " + folder + "SoftForbid.inf"};
    if (!c.monitor_removed) removal.clear();
    EXPECT_EQ(removal, messages(2));
    EXPECT_EQ(Texts{}, messages(1));
}

INSTANTIATE_TEST_SUITE_P(Policies, CompletedUpdate, testing::ValuesIn(kCompleted),
                         case_name<CompletedCase>);

struct KeyCase {
    const char* name;
    // CheckIntervalDay IsSafeCheck HideAssistant ReCheck ReCheckTime Disturb
    // AuthInterval Navigation/IsShow; "-": the node is missing.
    const char* params;
    const char* keys;  // the seven keys in their order
};

const KeyCase kKeyCases[] = {
    {"AllPresent", "3 0 1 1 45 1 10 1", "3 0 1 45 1 10 1"},
    {"ReCheckOffIgnoresItsTime", "3 0 1 0 60 1 10 1", "3 0 1 0 1 10 1"},
    {"ReCheckWithoutTime", "3 0 1 1 - 1 10 1", "3 0 1 30 1 10 1"},
    {"ReCheckMissing", "3 0 1 - 60 1 10 1", "3 0 1 0 1 10 1"},
    {"ReCheckWithNegativeTime", "3 0 1 2 -5 1 10 1", "3 0 1 30 1 10 1"},
    {"AllMissingButSafeCheck", "- 0 - - - - - -", "7 0 0 0 0 1 0"},
    {"NegativeOrNoNumber", "-2 -3 -1 abc 60 x -9 -1", "7 -3 0 0 0 1 0"},
    {"ZerosStayZero", "0 0 0 1 0 0 0 0", "0 0 0 0 0 0 0"},
};

class KeyRules : public PolicyUpdate, public testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRules, SevenKeysFollowTheirRulesInOrder) {
    const char* const nodes[] = {"CheckIntervalDay", "IsSafeCheck", "HideAssistant", "ReCheck",
                                 "ReCheckTime",      "Disturb",     "AuthInterval",  "IsShow"};
    const Texts values = words(GetParam().params);
    std::string params;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == "-") continue;
        const std::string node =
            std::string("<") + nodes[i] + ">" + values[i] + "</" + nodes[i] + ">";
        params += i == 7 ? "<Navigation>" + node + "</Navigation>" : node;
    }
    queue(comm_, policy_reply(params, ""));

    run();

    EXPECT_EQ(key_writes(words(GetParam().keys), true), writes());
}

INSTANTIATE_TEST_SUITE_P(CheckParams, KeyRules, testing::ValuesIn(kKeyCases), case_name<KeyCase>);

const std::string kHost63 = std::string(63, 'h');
const std::string kUrl63 = "http://" + kHost63 + ":8080/tarn/";
const std::string kUrl64 = "http://" + std::string(64, 'h') + "/tarn/";
constexpr char kNoDevice[] = "没有找到设备ID， 可能是没有注册";
constexpr char kNoRole[] = "没有取到角色ID，安检策略更新失败";
constexpr char kNoPage[] = "没有找到检查页面";
constexpr char kNoPolicy[] = "取安检策略失败， 安检策略更新失败";
constexpr char kNoItem[] = "取安全检查项失败， 安检策略更新失败";

struct AbandonCase {
    const char* name;
    Ids ids;
    void (*script)(const FakeModule& comm);  // the replies queued
    const char* message;
    std::size_t requests_sent;
    const char* host = "10.1.2.3";  // of the requests sent
};

void nothing(const FakeModule&) {}
void no_items(const FakeModule& comm) {
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", ""));
}
void no_document(const FakeModule& comm) {
    queue_reply(comm, kUdp, 1, nullptr);
}
void third_item_fails(const FakeModule& comm) {
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", "11 12 13"));
    queue(comm, item_reply("CheckAntiVirus"));
    queue(comm, item_reply("CheckSystemProcess"));
    // The third item's exchange finds the queue empty: no server, no reply.
}
void failure_with_reply(const FakeModule& comm) {
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", "11"));
    queue(comm, item_reply("CheckAntiVirus"), 0);  // handed over all the same: ours to free
}

void heap_exhausted(const FakeModule&) {
    cutil_xml_testing_fail_allocations([](std::size_t) { return true; });
}
void merge_out_of_memory(const FakeModule& comm) {
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", "11"));
    queue(comm, "<TARN><Option>" + std::string(99, 'x') + "</Option></TARN>");
    // Only the copy of that 99-character text asks for 100 bytes.
    cutil_xml_testing_fail_allocations([](std::size_t size) { return size == 100; });
}

// Bounds on what a server's policy may make of the file.
void too_many_items(const FakeModule& comm) {
    std::string ids;
    for (int i = 0; i < 1001; ++i) ids += "- ";
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", ids.c_str()));
}
// A pass whose budget is spent once the policy is in: its definitions are not asked for.
os::seams::FakeClock g_clock;
void pass_spent(const FakeModule& comm) {
    os::seams::install_fake_clock(&g_clock);
    autocheck::pass_begin();
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", "11 12"));
    os::seams::advance_fake_clock(autocheck::kPassBudgetMs + 1);
}
void too_large(const FakeModule& comm) {
    queue(comm, policy_reply("<IsSafeCheck>1</IsSafeCheck>", "11"));
    queue(comm,
          "<TARN><CheckType><Option>" + std::string(4 << 20, 'x') + "</Option></CheckType></TARN>");
}

const AbandonCase kAbandoned[] = {
    {"DeviceIdZero", {"0"}, nothing, kNoDevice, 0},
    {"DeviceIdMissing", {nullptr}, nothing, kNoDevice, 0},
    {"RoleIdZeroSendsNothing", {"042", "0"}, nothing, kNoRole, 0},
    {"RoleIdNoNumber", {"042", "x"}, nothing, kNoRole, 0},
    {"PolicyIdMissing", {"042", "3", nullptr}, nothing, "没有取到策略ID，安检策略更新失败", 0},
    {"WebUrlMissing", {"042", "3", "7", nullptr}, nothing, kNoPage, 0},
    {"HostOf64", {"042", "3", "7", kUrl64.c_str()}, nothing, kNoPage, 0},
    {"HostOf63", {"042", "3", "7", kUrl63.c_str()}, nothing, kNoPolicy, 1, kHost63.c_str()},
    {"PolicySuccessWithoutDocument", {}, no_document, kNoPolicy, 1},
    {"SafeCheckWithoutItems", {}, no_items, "策略报文有错误,没有检查项", 1},
    {"ThirdItemFails", {}, third_item_fails, kNoItem, 4},
    {"ItemFailureHandingAReply", {}, failure_with_reply, kNoItem, 2},
    {"RequestCannotBeBuilt", {}, heap_exhausted, "创建XML报文失败", 0},
    {"DefinitionCannotBeMerged", {}, merge_out_of_memory, "创建XML报文失败", 2},
    {"MoreThanAThousandItems", {}, too_many_items, "策略报文的检查项太多, 安检策略更新失败", 1},
    {"PolicyFileBeyondFourMegabytes", {}, too_large, "安检策略太大, 安检策略更新失败", 2},
    {"PassBudgetSpent", {}, pass_spent, "本次准入的时间已用完, 安检策略更新失败", 1},
};

class AbandonedUpdate : public PolicyUpdate, public testing::WithParamInterface<AbandonCase> {};

TEST_P(AbandonedUpdate, TracesWhyAndLeavesFileKeysAndMonitorAsTheyWere) {
    const AbandonCase& c = GetParam();
    c.script(comm_);

    run(c.ids);

    EXPECT_EQ(Texts{c.message}, messages(1));
    EXPECT_EQ(c.requests_sent, requests_sent(0).size());
    for (const auto& call : comm_.calls_of(kUdp)) {
        EXPECT_EQ(0u, call.arguments.find(c.host + std::string("|36537|")));
    }
    EXPECT_EQ(Texts{}, writes());
    EXPECT_EQ(kOld, read_file(home_.path(kSecurityCheckPolicyFile)));
    EXPECT_TRUE(monitor_kept());
    EXPECT_EQ(Texts{}, messages(2));
}

INSTANTIATE_TEST_SUITE_P(EachStop, AbandonedUpdate, testing::ValuesIn(kAbandoned),
                         case_name<AbandonCase>);

}  // namespace
