// SwitchUser: the request the assistant receives, the three refusals, and
// the export called through the module from another program.
#include "autocheck/users/switch_user.h"

#include <gtest/gtest.h>

#include <string>

#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/fakes/Communicate/communicate_control.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

// The request as the assistant reads it, in this order.
std::string sent_form(const char* user_name, const char* password) {
    return std::string("<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<TARN>\r\n") +
           "\t<TradeCode>SwitchUser</TradeCode>\r\n\t<WhatToDo>SwitchUser</WhatToDo>\r\n" +
           "\t<UserName>" + user_name + "</UserName>\r\n\t<Password>" + password +
           "</Password>\r\n</TARN>\r\n";
}

// Request `index` the communication double of `module` received; "" none.
std::string request_sent(os::Handle module, int index) {
    auto get = reinterpret_cast<fake::GetRequestFunction>(
        os::module_symbol(module, fake::kGetRequestName));
    char name[64] = "";
    static char text[4096];
    text[0] = '\0';
    return get != nullptr && get(index, name, sizeof name, text, sizeof text) > 0 ? text : "";
}

struct SwitchCase {
    const char* name;
    const char* request;
    int exchanged;  // the exchange's result
    int result;
    const char* error;  // the text handed back; null: the place untouched
    std::string sent;   // "": nothing sent
    const char* logged;
};

const SwitchCase kCases[] = {
    {"UserAndPassword", "<TARN><UserName>张三</UserName><Password>p&amp;w</Password></TARN>", 1, 1,
     nullptr, sent_form("张三", "p&amp;w"), ""},
    {"NoPasswordSendsEmpty", "<TARN><UserName>bob</UserName></TARN>", 1, 1, nullptr,
     sent_form("bob", ""), ""},
    {"EmptyUserNamePasses", "<TARN><UserName></UserName></TARN>", 1, 1, nullptr, sent_form("", ""),
     ""},
    {"FailedExchangeStillSucceeds", "<TARN><UserName>bob</UserName></TARN>", 0, 1, nullptr,
     sent_form("bob", ""), "用户切换报文发送失败"},
    {"NoUserName", "<TARN><Password>x</Password></TARN>", 1, 0, "没有指定用户名，无法切换用户", "",
     ""},
    {"NotXml", "switch bob", 1, 0, "取策略报文失败", "", ""},
    {"NoRequest", nullptr, 1, 0, "取策略报文失败", "", ""},
};

class SwitchUserTest : public testing::TestWithParam<SwitchCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
    }
    FakeModule comm_;
    FakeModule log_;
    quarn::test::TraceCapture traces_;
};

TEST_P(SwitchUserTest, SendsTheRequestOrRefuses) {
    const SwitchCase& c = GetParam();
    comm_.answer("GetTcpPacketFrom", c.exchanged);
    char untouched[] = "untouched";
    char* error = untouched;
    EXPECT_EQ(c.result, SwitchUser(c.request, &error));
    if (c.error == nullptr) {
        EXPECT_EQ(untouched, error);
    } else {
        ASSERT_NE(untouched, error);
        EXPECT_GBK_EQ(c.error, error);
        EXPECT_EQ(120u, os::global_size(error));
        os::global_free(error);
    }
    EXPECT_GBK_EQ(c.sent, request_sent(comm_.handle(), 0));
    if (!c.sent.empty()) {
        EXPECT_EQ("127.0.0.1|36588|",
                  comm_.calls_of("GetTcpPacketFrom")[0].arguments.substr(0, 16));
    }
    const auto lines = log_.calls_of("TarnLogToFile");
    EXPECT_EQ(*c.logged != '\0',
              !lines.empty() && lines[0].arguments.find(c.logged) != std::string::npos);
    EXPECT_EQ(*c.logged != '\0' ? 1u : 0u,
              traces_.find("SwitchUser", "用户切换报文发送失败").size());
    if (c.result == 0) {
        EXPECT_EQ(0, SwitchUser(c.request, nullptr));  // no place for the text
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SwitchUserTest, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

using SwitchUserExport = int(QUARN_STDCALL*)(const char*, char**);

// Another program: loads the product module and calls its export "SwitchUser"
// with the standard convention. argv[0] says whether the communication
// module is in the assistant directory ("with") or not.
QUARN_TEST_HELPER(switch_through_module) {
    const os::Handle product = os::module_load((program_dir() + sibling::kAutoCheckDll).c_str());
    auto switch_user = reinterpret_cast<SwitchUserExport>(os::module_symbol(product, "SwitchUser"));
    if (switch_user == nullptr) return 2;
    char* error = nullptr;
    const int result = switch_user("<TARN><UserName>bob</UserName></TARN>", &error);
    if (std::string(argv[0]) == "with") {
        const os::Handle comm = os::module_find(sibling::kCommunicateDll);
        return result == 1 && error == nullptr && comm != nullptr &&
                       request_sent(comm, 0) == sent_form("bob", "")
                   ? 0
                   : 3;
    }
    const bool refused = result == 0 && error != nullptr &&
                         std::string(error) == "加载模块失败: QuarnAssCommunicate.dll";
    os::global_free(error);
    return refused ? 0 : 4;
}

TEST(SwitchUserProgram, CallsTheExportAndLoadsTheCommunicationModule) {
    AssistantHome home;
    EXPECT_EQ(0, wait_helper(spawn_helper("switch_through_module", {"without"})));
    ASSERT_TRUE(home.add(fake_path("QuarnAssCommunicate.dll"), "QuarnAssCommunicate.dll"));
    EXPECT_EQ(0, wait_helper(spawn_helper("switch_through_module", {"with"})));
}

}  // namespace
