// The switch thread on the doubles: the automatic cycle for an empty user
// name, otherwise the cycle with the block's credentials, its outcomes, its
// balloons and the renewal that always runs. Authentication is the user
// request through the HTTP client double; the check passes when no check is
// wanted and fails when one is and no policy can be fetched.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "autocheck/runtime/command_handler.h"
#include "autocheck/runtime/cycle_lock.h"
#include "autocheck/runtime/switch_queue.h"
#include "autocheck/runtime/switch_user_thread.h"
#include "cutil/xml.h"
#include "tests/autocheck/runtime/cycle_fixture.h"

namespace {

using namespace runtime_test;

#define ENTER "trace: 进入用户切换线程\n"
#define TRY "trace: 尝试切换到用户: bob\n"
#define DONE "trace: 切换过程已完成: bob\n"
#define RENEW_TRACE "trace: 刷新IP\n"
#define PAGE "dialog 入网小助手-身份认证与安全检查|http://srv/check?from=assistant|0x0|0|\n"
#define SWITCHING "balloon: 上网用户切换|正在切换上网用户|10000\n"
#define LOGGED "log: 进入用户切换线程\nlog: 尝试切换到用户: bob\n"
#define RENEW "start ipconfig.exe -renew\n"

struct SwitchCase {
    const char* name;
    const char* user_name;
    const char* settings;
    bool authenticated;
    const char* journal;
};

const SwitchCase kCases[] = {
    {"EmptyUserRunsTheAutomaticCycle", "", "IsDoSecurityCheck=0", true,
     ENTER "trace: 重新做一次认证和安检\ncycle\ntrace: 切换过程已完成: \n"
           "log: 进入用户切换线程\nlog: 重新做一次认证和安检\nlog: 安全检查已完成\n" SWITCHING},
    {"WrongCredentials", "bob", "SupportNat=1;SuportPraxa=1", false,
     ENTER TRY "error: 身份认证失败\nttl 64\n" RENEW_TRACE DONE LOGGED
               "log: 身份认证失败\n" SWITCHING
               "balloon: 上网用户切换|身份认证失败,请检查用户名和密码是否正确!|10000\n" PAGE RENEW},
    {"WrongCredentialsWithoutNat", "bob", "SupportNat=0", false,
     ENTER TRY "error: 身份认证失败\n" RENEW_TRACE DONE LOGGED "log: 身份认证失败\n" SWITCHING
               "balloon: 上网用户切换|身份认证失败,请检查用户名和密码是否正确!|10000\n" PAGE RENEW},
    {"AdmittedInDoNotDisturb", "bob", "IsDoSecurityCheck=0;IsDisturb=1;SupportNat=1;SuportPraxa=1",
     true,
     ENTER TRY "trace: 身份认证成功\ntrace: 安全检查已完成\nttl 200\nagent: "
               "通过Praxa的TDI放开网络\n" RENEW_TRACE DONE LOGGED "log: 安全检查已完成\n" SWITCHING
               "balloon: 上网用户切换|切换上网用户成功!|10000\n" RENEW},
    {"CheckFails", "bob", "IsDoSecurityCheck=1;SupportNat=1", true,
     ENTER TRY "trace: 身份认证成功\ntrace: 安全检查没有通过\n" RENEW_TRACE DONE LOGGED SWITCHING
               "balloon: 上网用户切换|安检失败，请手动切换上网用户!|10000\n" PAGE RENEW},
    {"CheckFailsNotDisturbed", "bob", "IsDoSecurityCheck=1;IsDisturb=1", true,
     ENTER TRY "trace: 身份认证成功\ntrace: 安全检查没有通过\nerror: "
               "安全检查没有通过， 但因为是免打挠模式，所有没有打开检查页面\n" RENEW_TRACE DONE
                   LOGGED SWITCHING RENEW},
    {"NoCheckPage", "bob", "CheckUrl", true,
     ENTER TRY "error: 没有找到检查页面，退出小助手\n" LOGGED
               "log: 没有找到检查页面，退出小助手\n" SWITCHING "exit 0\n"},
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << c.name;
}

class SwitchThread : public CycleFixture, public testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchThread, RunsTheCycleForTheBlocksUser) {
    const SwitchCase& c = GetParam();
    configure(
        "CheckUrl=http://srv/check;WebUrl=http://srv:8080;DeviceId=12;LastAuthType=NoAuth;"
        "IsDoSecurityCheck=0",
        c.settings);
    if (c.authenticated) http_.answer("HttpGet", 1, kAccepted);
    open_earlier_page();
    auto* block = static_cast<char*>(std::calloc(1, autocheck::kSwitchBlockSize));
    std::strcpy(block, c.user_name);
    std::strcpy(block + autocheck::kSwitchFieldSize, "pw");

    run([block] { EXPECT_EQ(0u, ThreadSwitchUser(block)); });
    if (exit_code_ >= 0) std::free(block);  // the process would have ended with it

    expect_journal(c.journal, {"ThreadSwitchUser", "AutoAuthAndCheckWithUserPassword"},
                   {"进入", "重新", "尝试", "身份认证失败", "安全检查已完成", "没有找到"});
    const bool replaced = std::string(c.journal).find("dialog ") != std::string::npos;
    EXPECT_EQ(replaced, earlier_page_ended(replaced));
}

INSTANTIATE_TEST_SUITE_P(EachOutcome, SwitchThread, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A "SwitchUser" push as the server command handler gets it.
void push_switch(const std::string& user) {
    const XmlDocument command(cutil_xml_import(
        ("<TARN><WhatToDo>SwitchUser</WhatToDo><UserName>" + user + "</UserName></TARN>").c_str(),
        "test", "push", __LINE__));
    ASSERT_EQ(1, PacketRecvCallBack(command.get()));
}

// A burst while a switch waits for a running cycle: one thread takes them in
// the order they came, the newest of a user replacing its older request, the
// oldest waiting dropped past the limit, so the last request is run last.
TEST_F(SwitchThread, BurstRunsInOrderOnOneThreadAndTheLastWins) {
    configure("CheckUrl=http://srv/check;WebUrl=http://srv:8080;DeviceId=12;IsDoSecurityCheck=0",
              "");
    http_.answer("HttpGet", 1, kAccepted);
    {
        const std::lock_guard<std::mutex> running(autocheck::admission_cycle_lock());
        push_switch("first");
        ASSERT_TRUE(traces_.wait_for("ThreadSwitchUser", "尝试切换到用户: first", 10000));
        for (int i = 0; i < 100; ++i) push_switch("u" + std::to_string(i));
        push_switch("bob");
        push_switch("carol");
        push_switch("BOB");  // takes bob's place at the end
    }
    ASSERT_TRUE(traces_.wait_for("ThreadSwitchUser", "切换过程已完成: BOB", 30000));
    std::string order;
    std::set<std::uint32_t> threads;
    for (const auto& record : traces_.find("ThreadSwitchUser", "尝试切换到用户: ")) {
        order += record.message.substr(record.message.rfind(' ') + 1) + " ";
        threads.insert(record.thread_id);
    }
    std::string expected = "first ";
    for (int i = 102 - static_cast<int>(autocheck::kSwitchQueueLimit); i < 100; ++i) {
        expected += "u" + std::to_string(i) + " ";
    }
    expected += "carol BOB ";
    EXPECT_EQ(expected, order);
    EXPECT_EQ(1u, threads.size());
}

}  // namespace
