// The repair page: the exact file, where its values come from, when no page
// is made, and how the dialog is presented.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/gbk.h"
#include "tests/autocheck/check/repair_page_fixture.h"

namespace {

using namespace repair_test;

// The lists of the two-entry result as the page carries them: each entry
// exported with its header, line breaks as blanks, then escaped for the
// single-quoted attribute value.
const std::string kItems = "11###||###12";
const std::string kResults =
    "&lt;?xml version=&quot;1.0&quot; encoding=&quot;gbk&quot;?&gt;  &lt;Result&gt;  "
    "\t&lt;ItemID&gt;11&lt;/ItemID&gt;  \t&lt;Message&gt;第一行  第二行 &#39;q&#39; "
    "&quot;d&quot; a&amp;amp;b&amp;lt;c&amp;gt;&lt;/Message&gt;  &lt;/Result&gt;  ###||###"
    "&lt;?xml version=&quot;1.0&quot; encoding=&quot;gbk&quot;?&gt;  &lt;Result&gt;  "
    "\t&lt;ItemID&gt;12&lt;/ItemID&gt;  \t&lt;Res&gt;1&lt;/Res&gt;  &lt;/Result&gt;  ";
const std::string kEscapedPassword = "p&#39;w&quot;&amp;&lt;&gt;d";

std::string expected_page(const std::string& web_url, const std::string& auth_type,
                          const std::string& auto_auth) {
    return "<HTML><BODY><FORM name=\"opform\" METHOD=\"POST\" \tACTION=\"" + web_url +
           "/mod/client_check/submit.php\">" + hidden("deviceid", "7") + hidden("roleid", "3") +
           hidden("policyid", "12") + hidden("itemsid", kItems) + hidden("checkres", kResults) +
           hidden("processtime", "9") + hidden("user_name", "张三") +
           hidden("password", kEscapedPassword) + hidden("is_auto_auth", auto_auth) +
           hidden("is_safecheck", "1") + hidden("check_from", "assistant") +
           hidden("auth_type", auth_type) + hidden("repair", "1") + hidden("from", "assistant") +
           "\t</FORM><script>document.opform.submit();</script></BODY></HTML>";
}

TEST_F(RepairPageTest, TwoEntryResultGivesTheExactOwnerOnlyPageCutAtItsBuffer) {
    namespace fs = std::filesystem;
    const bool posix = fs::path::preferred_separator == '/';
    const std::string file = home_.path("RepairPage.html");
    if (posix) {  // an earlier page that others could read
        std::fclose(std::fopen(file.c_str(), "wb"));
        fs::permissions(file,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }
    const XmlDocument result = two_entry_result();
    EXPECT_NE(nullptr, open_page(result.get(), 0));
    EXPECT_GBK_EQ(expected_page("http://srv:8080", "User", "No"), page());
    if (posix) {  // the page holds the decoded password
        EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(file).permissions());
    }

    // Beyond the lists and the credentials the buffer has 1116 bytes: long
    // enough other texts cut the page there.
    const std::string web_url = "http://" + std::string(252, 'w');
    const std::string auth_type(63, 'a');
    const std::string auto_auth(63, 'b');
    config_["WebUrl"] = web_url.c_str();
    config_["LastAuthType"] = auth_type.c_str();
    config_["IsAutoAuth"] = auto_auth.c_str();
    apply_config();
    open_page(result.get(), 0);
    const std::size_t size =
        kItems.size() + kResults.size() + std::strlen("张三") + kEscapedPassword.size() + 1116;
    EXPECT_GBK_EQ(expected_page(web_url, auth_type, auto_auth).substr(0, size - 1), page());
}

enum Document { kTwoEntries, kNoDocument, kNoEntries, kNoItemIds, kWithoutTime };

struct SettingsCase {
    const char* name;
    const char* key;    // the setting that differs from config_, null: none
    const char* value;  // its value, null: absent
    Document document;
    const char* stop;      // the level-1 trace that ends the call, "": none
    const char* input;     // an input the page carries, null: no page
    const char* expected;  // its value
};

const SettingsCase kSettingsCases[] = {
    {"PolicyIdZero", "PolicyId", "0", kTwoEntries, "没有取到PolicyId,不打开修复页面", nullptr,
     nullptr},
    {"RoleIdZero", "RoleId", "0", kTwoEntries, "没有取到RoleId,不打开修复页面", nullptr, nullptr},
    {"DeviceIdMissing", "DeviceId", nullptr, kTwoEntries,
     "没有取到DeviceId,设备可能没有注册,不打开修复页面", nullptr, nullptr},
    {"WebUrlMissing", "WebUrl", nullptr, kTwoEntries, "没有取到检查页面", nullptr, nullptr},
    {"NoDocument", nullptr, nullptr, kNoDocument, "没有检查项结果,不打开修复页面", nullptr,
     nullptr},
    {"NoResultEntries", nullptr, nullptr, kNoEntries, "没有检查项结果,不打开修复页面", nullptr,
     nullptr},
    {"EntriesWithoutItemIds", nullptr, nullptr, kNoItemIds, "", nullptr, nullptr},
    {"LastAuthTypeMissing", "LastAuthType", nullptr, kTwoEntries, "", "auth_type", "Guest"},
    {"IsAutoAuthMissing", "IsAutoAuth", nullptr, kTwoEntries, "", "is_auto_auth", "Yes"},
    {"CheckUsedSecondAbsent", nullptr, nullptr, kWithoutTime, "", "processtime", "5"},
};

class RepairPageSettings : public RepairPageTest,
                           public testing::WithParamInterface<SettingsCase> {};

TEST_P(RepairPageSettings, StopsLeavingTheEarlierPageOrFillsInDefaults) {
    const SettingsCase& c = GetParam();
    if (c.key != nullptr) config_[c.key] = c.value;
    apply_config();
    XmlDocument result = two_entry_result();
    if (c.document == kNoEntries || c.document == kNoItemIds) {
        cutil_xml_delete(result.get(), "TARN/Result[2]");
        cutil_xml_delete(result.get(),
                         c.document == kNoEntries ? "TARN/Result" : "TARN/Result/ItemID");
    }
    if (c.document == kWithoutTime) cutil_xml_delete(result.get(), "TARN/CheckUsedSecond");
    std::FILE* earlier = std::fopen(home_.path("RepairPage.html").c_str(), "wb");
    ASSERT_NE(nullptr, earlier);
    std::fputs("earlier page", earlier);
    std::fclose(earlier);
    const os::Handle untouched = reinterpret_cast<os::Handle>(1);

    const os::Handle process =
        open_page(c.document == kNoDocument ? nullptr : result.get(), 1, untouched);

    std::string stops;
    for (const auto& record : traces_.find("OpenRepairPage")) {
        EXPECT_EQ("QuarnAssSecurityCheck.cpp", record.source);
        if (record.level == 1) stops += record.message.substr(0, record.message.find(" Error="));
    }
    EXPECT_GBK_EQ(c.stop, stops);
    if (c.input == nullptr) {
        EXPECT_EQ(untouched, process);
        EXPECT_EQ("earlier page", page());
        EXPECT_EQ("", dialog_record());
    } else {
        EXPECT_NE(untouched, process);
        EXPECT_NE(std::string::npos, page().find(hidden(c.input, c.expected)));
    }
}

INSTANTIATE_TEST_SUITE_P(EachSetting, RepairPageSettings, testing::ValuesIn(kSettingsCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Results longer than the lists' first block reach the page whole.
TEST_F(RepairPageTest, EveryEntryReachesThePageHoweverManyThereAre) {
    std::string text = "<TARN>";
    for (int id = 11; id <= 18; ++id) {
        text += "<Result><ItemID>" + std::to_string(id) + "</ItemID><Res>1</Res></Result>";
    }
    const XmlDocument result(
        cutil_xml_import((text + "</TARN>").c_str(), "test", "many", __LINE__));

    open_page(result.get(), 0);

    const std::string written = page();
    EXPECT_NE(std::string::npos,
              written.find(hidden("itemsid",
                                  "11###||###12###||###13###||###14###||###15###||###16"
                                  "###||###17###||###18")));
    for (int id = 11; id <= 18; ++id) {
        const std::string item = "&lt;ItemID&gt;" + std::to_string(id) + "&lt;/ItemID&gt;";
        EXPECT_NE(std::string::npos, written.find(item)) << item;
    }
}

// A page file that cannot be created opens no dialog.
TEST_F(RepairPageTest, NoDialogWithoutItsPageFile) {
    std::filesystem::create_directory(home_.path("RepairPage.html"));
    const os::Handle untouched = reinterpret_cast<os::Handle>(1);
    const XmlDocument result = two_entry_result();

    EXPECT_EQ(untouched, open_page(result.get(), 1, untouched));

    ASSERT_EQ(1u, traces_.find("OpenRepairPage", "创建HTML修复页面文件失败").size());
    EXPECT_EQ("", dialog_record());
}

struct PresentationCase {
    const char* name;
    const char* is_disturb;
    int automatic;
    const char* dialog;  // the dialog's command line from the title on
};

const PresentationCase kPresentationCases[] = {
    {"ManualRepairMaximised", "0", 0,
     "Title=入网小助手-手动修复 Width=0 Height=0 ShowSysIcon=0 SysIconMsg=\n"},
    {"AutomaticRepairHiddenWithTrayIcon", "0", 1,
     "Title=入网小助手-自动修复 Width=-1 Height=-1 ShowSysIcon=1 "
     "SysIconMsg=小助手正在对您的系统进行自动修复,点击查看详情!\n"},
    {"DoNotDisturbHidesEvenManualRepair", "1", 0,
     "Title=入网小助手-自动修复 Width=-1 Height=-1 ShowSysIcon=0 SysIconMsg=\n"},
};

class RepairPagePresentation : public RepairPageTest,
                               public testing::WithParamInterface<PresentationCase> {};

TEST_P(RepairPagePresentation, DialogIsStartedAsTheModeAsks) {
    const PresentationCase& c = GetParam();
    config_["IsDisturb"] = c.is_disturb;
    apply_config();
    const XmlDocument result = two_entry_result();

    EXPECT_NE(nullptr, open_page(result.get(), c.automatic));

    EXPECT_GBK_EQ(c.dialog, dialog_record());
    EXPECT_NE(std::string::npos, page().find(hidden("repair", c.automatic != 0 ? "0" : "1")));
    const auto hidden_traces = traces_.find("OpenRepairPage", "免打挠模式，隐藏修复界面");
    std::string logged;  // after the 29-character time stamp
    for (const auto& line : log_.calls_of("TarnLogToFile")) logged += line.arguments.substr(29);
    if (c.is_disturb[0] == '1') {
        ASSERT_EQ(1u, hidden_traces.size());
        EXPECT_EQ(1u, hidden_traces[0].level);
        EXPECT_GBK_EQ("免打挠模式，隐藏修复界面\n", logged);
    } else {
        EXPECT_TRUE(hidden_traces.empty());
        EXPECT_EQ("", logged);
    }
}

INSTANTIATE_TEST_SUITE_P(EachMode, RepairPagePresentation, testing::ValuesIn(kPresentationCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A result document broken by its producer: the fault is survived, nothing
// built so far leaks (the native run checks leaks) and no page is made.
TEST_F(RepairPageTest, FaultInsideTheResultIsCaughtAndEverythingReleased) {
    XmlDocument result = two_entry_result();
    XmlNode* item = cutil_xml_find(result.get(), "TARN/Result[2]/ItemID");
    ASSERT_NE(nullptr, item);
    char* const text = item->text;
    item->text = reinterpret_cast<char*>(16);

    EXPECT_EQ(nullptr, open_page(result.get(), 1));
    item->text = text;
    const auto faults = traces_.find("OpenRepairPage", "发生异常");
    ASSERT_EQ(1u, faults.size());
    EXPECT_EQ(1u, faults[0].level);
    EXPECT_EQ("", page());
}

}  // namespace
