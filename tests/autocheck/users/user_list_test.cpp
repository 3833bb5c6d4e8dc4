// The saved user list: one table of changes to the stored text, the list
// handed back byte for byte, two programs changing it at once, and both
// exports in a program that has not loaded the configuration module.
#include "autocheck/users/user_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "interface/cached_entry_points.h"
#include "interface/config_access.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/process.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

struct User {
    const char* name;
    const char* password;
    const char* remark;
};

// The stored form: header line, one tab per level, CR LF after each line.
std::string list_text(const std::vector<User>& users) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
    if (users.empty()) return text + "<TARN></TARN>\r\n";
    text += "<TARN>\r\n";
    for (const User& user : users) {
        text += std::string("\t<UserInfo>\r\n\t\t<UserName>") + user.name + "</UserName>\r\n" +
                "\t\t<Password>" + user.password + "</Password>\r\n\t\t<Remark>" + user.remark +
                "</Remark>\r\n\t</UserInfo>\r\n";
    }
    return text + "</TARN>\r\n";
}

std::string taken(char* block) {
    std::string text = block != nullptr ? block : "(none)";
    os::global_free(block);
    return text;
}

class UserListTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_store_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
    }
    std::string stored() const {
        char* value = nullptr;
        return Call_TarnReadConfig("UserSwitchInfo", &value) != 0 ? taken(value) : "(none)";
    }

    AssistantHome home_;
    FakeModule config_store_;
    FakeModule log_;
};

const std::string kAlice = list_text({{"alice", "pw1", "办公室"}});

struct ChangeCase {
    const char* name;
    const std::string* before;  // null: nothing stored
    const char* request;
    int result;
    std::string after;   // "(none)": still nothing stored
    const char* logged;  // the user-log line, "" for none
};

const ChangeCase kChanges[] = {
    {"FirstAdd", nullptr,
     "<TARN><UserName>alice</UserName><Password>pw1</Password><Remark>办公室</Remark>"
     "<IsAdd>1</IsAdd></TARN>",
     1, kAlice, ""},
    {"OtherCaseUpdatesAndRespells", &kAlice,
     "<TARN><UserName>ALICE</UserName><Password>pw2</Password><IsAdd>3</IsAdd></TARN>", 1,
     list_text({{"ALICE", "pw2", ""}}), ""},
    {"NoIsAddAppends", &kAlice, "<TARN><UserName>bob</UserName></TARN>", 1,
     list_text({{"alice", "pw1", "办公室"}, {"bob", "", ""}}), ""},
    {"NonNumericIsAddAppends", &kAlice, "<TARN><UserName>bob</UserName><IsAdd>no</IsAdd></TARN>", 1,
     list_text({{"alice", "pw1", "办公室"}, {"bob", "", ""}}), ""},
    {"DeleteOnlyEntryLeavesEmptyRoot", &kAlice,
     "<TARN><UserName>Alice</UserName><IsAdd>0</IsAdd></TARN>", 1, list_text({}), ""},
    {"DeleteFromEmptyStore", nullptr, "<TARN><UserName>bob</UserName><IsAdd>0</IsAdd></TARN>", 0,
     "(none)", "帐号切换信息为空，无法删除帐号 bob"},
    {"DeleteUnknown", &kAlice, "<TARN><UserName>bob</UserName><IsAdd>0</IsAdd></TARN>", 0, kAlice,
     "没有找到想要删除的帐号 bob"},
    {"EmptyUserName", &kAlice, "<TARN><UserName></UserName></TARN>", 0, kAlice, "没有指定用户名"},
    {"NoUserName", nullptr, "<TARN><Password>x</Password></TARN>", 0, "(none)", "没有指定用户名"},
    {"RequestNotXml", nullptr, "user=bob", 0, "(none)", "参数不全"},
    {"NoRequest", nullptr, nullptr, 0, "(none)", "参数不全"},
};

class UserChangeTest : public UserListTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(UserChangeTest, StoresTheChangedListAndAnswers) {
    const ChangeCase& c = GetParam();
    if (c.before != nullptr) Call_TarnWriteConfig("UserSwitchInfo", c.before->c_str());
    char* answer = nullptr;
    EXPECT_EQ(c.result, UserSwitchAddUser(c.request, &answer));
    EXPECT_EQ("<TARN><Result>" + std::to_string(c.result) + "</Result></TARN>", taken(answer));
    EXPECT_GBK_EQ(c.after, stored());
    const auto lines = log_.calls_of("TarnLogToFile");
    const std::string& last = lines.empty() ? std::string() : lines.back().arguments;
    EXPECT_GBK_EQ(c.logged, last.empty() ? "" : last.substr(29, last.size() - 30));
}

INSTANTIATE_TEST_SUITE_P(Rows, UserChangeTest, testing::ValuesIn(kChanges),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(UserListTest, StoredListThatIsNotXmlOrAFailedWriteStoresNothing) {
    Call_TarnWriteConfig("UserSwitchInfo", "garbage");
    char* answer = nullptr;
    EXPECT_EQ(0, UserSwitchAddUser("<TARN><UserName>bob</UserName></TARN>", &answer));
    EXPECT_EQ("<TARN><Result>0</Result></TARN>", taken(answer));
    EXPECT_EQ("garbage", stored());
    EXPECT_NE(std::string::npos, log_.calls().back().arguments.find("取帐号信息失败"));

    config_store_.reset();
    config_store_.answer("TarnWriteConfig", 0);
    EXPECT_EQ(0, UserSwitchAddUser("<TARN><UserName>bob</UserName></TARN>", &answer));
    EXPECT_EQ("<TARN><Result>0</Result></TARN>", taken(answer));
}

__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) int QUARN_CDECL
faulting_reader(const char*, char**) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
    return 0;
}

// A fault while the list is changed answers 0 and lets the lock go: the
// next change is stored.
TEST_F(UserListTest, AFaultInTheChangeLetsTheNextOneThrough) {
    gateway::install_config_store(&faulting_reader, nullptr);
    char* answer = nullptr;
    EXPECT_EQ(0, UserSwitchAddUser("<TARN><UserName>bob</UserName></TARN>", &answer));
    gateway::install_config_store(nullptr, nullptr);
    EXPECT_EQ("<TARN><Result>0</Result></TARN>", taken(answer));
    EXPECT_NE(std::string::npos, log_.calls().back().arguments.find("发生异常"));
    EXPECT_EQ(1, UserSwitchAddUser("<TARN><UserName>bob</UserName></TARN>", &answer));
    EXPECT_GBK_EQ(list_text({{"bob", "", ""}}), stored());
    taken(answer);
}

TEST_F(UserListTest, ListIsHandedBackByteForByte) {
    char* list = nullptr;
    EXPECT_EQ(1, GetUserSwitchList(nullptr, &list));
    EXPECT_EQ("<TARN></TARN>", taken(list));
    const std::string odd = "<?xml version=\"1.0\"?>\n<TARN >  <UserInfo/>\t\r\n</TARN>\r\n\r\n";
    Call_TarnWriteConfig("UserSwitchInfo", odd.c_str());
    EXPECT_EQ(1, GetUserSwitchList("ignored", &list));
    EXPECT_EQ(odd, taken(list));
}

// A store of files in one folder, shared by the helper processes: the
// double's store lives in the memory of each process.
std::string g_store_dir;

int QUARN_CDECL read_file_setting(const char* key, char** value) {
    std::FILE* file = std::fopen((g_store_dir + "/" + key).c_str(), "rb");
    if (file == nullptr) return 0;
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, got);
    }
    std::fclose(file);
    *value = static_cast<char*>(os::global_alloc(text.size() + 1));
    std::memcpy(*value, text.c_str(), text.size() + 1);
    return 1;
}

// Written in place: the export holds its lock around every read and write.
int QUARN_CDECL write_file_setting(const char* key, const char* value) {
    std::FILE* file = std::fopen((g_store_dir + "/" + key).c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(value, 1, std::strlen(value), file) == std::strlen(value);
    return std::fclose(file) == 0 && written;
}

constexpr int kUsersPerProgram = 500;

// A program that has not loaded the configuration module adds 500 users
// "<argv[1]>-<n>" to the file store in argv[0].
QUARN_TEST_HELPER(add_users) {
    if (os::module_find(sibling::kConfigMgrDll) != nullptr) return 2;
    g_store_dir = argv[0];
    gateway::install_config_store(&read_file_setting, &write_file_setting);
    for (int i = 0; i < kUsersPerProgram; ++i) {
        const std::string request = "<TARN><UserName>" + std::string(argv[1]) + "-" +
                                    std::to_string(i) + "</UserName></TARN>";
        char* answer = nullptr;
        if (UserSwitchAddUser(request.c_str(), &answer) != 1) return 3;
        os::global_free(answer);
    }
    return os::module_find(sibling::kConfigMgrDll) != nullptr ? 0 : 4;
}

// Without the module in the assistant directory: both give up, the list's
// caller keeps what its place held.
QUARN_TEST_HELPER(without_config_module) {
    TraceCapture traces;
    char* answer = nullptr;
    if (UserSwitchAddUser("<TARN><UserName>bob</UserName></TARN>", &answer) != 0) return 2;
    if (taken(answer) != "<TARN><Result>0</Result></TARN>") return 3;
    if (traces.find("UserSwitchAddUser", "加载模块失败 ").size() != 1) return 5;
    char kept[] = "kept";
    char* list = kept;
    if (GetUserSwitchList(nullptr, &list) != 0 || list != kept) return 4;
    return 0;
}

TEST(UserListPrograms, TwoProgramsAddingAtOnceLoseNothing) {
    AssistantHome home;
    ASSERT_TRUE(home.add(fake_path("QuarnAssConfigMgr.dll"), "QuarnAssConfigMgr.dll"));
    const std::string store = home.appdata();
    os::Handle first = spawn_helper("add_users", {store.c_str(), "a"});
    os::Handle second = spawn_helper("add_users", {store.c_str(), "b"});
    EXPECT_EQ(0, wait_helper(first, 300000));
    EXPECT_EQ(0, wait_helper(second, 300000));

    g_store_dir = store;
    char* text = nullptr;
    ASSERT_EQ(1, read_file_setting("UserSwitchInfo", &text));
    const XmlDocument list(cutil_xml_import(text, "test", "test", __LINE__));
    os::global_free(text);
    ASSERT_NE(nullptr, list);
    std::set<std::string> names;
    const int count = cutil_xml_count(list.get(), "TARN/UserInfo");
    for (int i = 1; i <= count; ++i) {
        names.insert(cutil_xml_get(list.get(), "TARN/UserInfo[%d]/UserName", i));
    }
    EXPECT_EQ(2 * kUsersPerProgram, count);
    EXPECT_EQ(static_cast<std::size_t>(2 * kUsersPerProgram), names.size());
}

TEST(UserListPrograms, WithoutTheConfigurationModuleBothGiveUp) {
    AssistantHome home;
    EXPECT_EQ(0, wait_helper(spawn_helper("without_config_module")));
}

}  // namespace
