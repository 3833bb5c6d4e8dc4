// Every wrapper of a sibling export, with the module absent, the export
// absent and the export present.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/user_log.h"
#include "os/memory.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using quarn::test::FakeModule;

XmlNode* const kRequest = reinterpret_cast<XmlNode*>(0x1230);
XmlNode* const kReply = reinterpret_cast<XmlNode*>(0x4560);

std::string pointer_text(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

int received_callback(XmlNode*) {
    return 0;
}

struct WrapperCase {
    const char* wrapper;
    const char* module;
    const char* export_name;
    int (*call)();
    bool has_result;
    int missing_result;
    std::string recorded;  // the arguments the export receives
};

std::ostream& operator<<(std::ostream& out, const WrapperCase& c) {
    return out << c.wrapper;
}

int call_udp() {
    XmlNode* reply = nullptr;
    const int result = Call_GetUdpPacketFrom("10.0.0.1", kRequest, &reply);
    return reply == kReply || result == 0 ? result : -999;
}
int call_tcp() {
    XmlNode* reply = nullptr;
    const int result = Call_GetTcpPacketFrom(kRequest, &reply);
    return reply == kReply || result == 0 ? result : -999;
}
int call_read_config() {
    char* value = nullptr;
    const int result = Call_TarnReadConfig("WebUrl", &value);
    if (value != nullptr) os::global_free(value);
    return result;
}

const WrapperCase kCases[] = {
    {"Call_InitTray", "QuarnAssShowIcon.dll", "InitTray", [] { return Call_InitTray(), 0; }, false,
     0, ""},
    {"Call_AddTrayIcon", "QuarnAssShowIcon.dll", "AddTrayIcon",
     [] { return Call_AddTrayIcon("入网小助手", "C:\\Quarn\\a.ico"); }, true, 0,
     "入网小助手|C:\\Quarn\\a.ico"},
    {"Call_DelTrayIcon", "QuarnAssShowIcon.dll", "DelTrayIcon", [] { return Call_DelTrayIcon(); },
     true, 0, ""},
    {"Call_AddDynamicMenu", "QuarnAssShowIcon.dll", "AddDynamicMenu",
     [] { return Call_AddDynamicMenu("SEPARATOR_1", "MF_SEPARATOR"); }, true, 0,
     "SEPARATOR_1|MF_SEPARATOR"},
    {"Call_DelDynamicMenu", "QuarnAssShowIcon.dll", "DelDynamicMenu",
     [] { return Call_DelDynamicMenu(); }, true, 0, "取消自动身份认证"},
    {"Call_DeleteAllDynamicMenu", "QuarnAssShowIcon.dll", "DeleteAllDynamicMenu",
     [] { return Call_DeleteAllDynamicMenu(), 0; }, false, 0, ""},
    {"Call_ShowBalloonMsg", "QuarnAssShowIcon.dll", "ShowBalloonMsg",
     [] { return Call_ShowBalloonMsg("提示", "检查通过", 3000); }, true, 0, "提示|检查通过|3000"},
    {"Call_AddEventNotify", "QuarnAssShowIcon.dll", "AddEventNotify",
     [] { return Call_AddEventNotify(); }, true, 0, "515|Event_L_Button_D_Click"},
    {"Call_SetPacketRecvCallBack", "QuarnAssCommunicate.dll", "SetPacketRecvCallBack",
     [] { return Call_SetPacketRecvCallBack(&received_callback), 0; }, false, 0,
     pointer_text(reinterpret_cast<void*>(&received_callback))},
    {"Call_GetUdpPacketFrom", "QuarnAssCommunicate.dll", "GetUdpPacketFrom", &call_udp, true, 0,
     "10.0.0.1|36537|" + pointer_text(kRequest)},
    {"Call_GetTcpPacketFrom", "QuarnAssCommunicate.dll", "GetTcpPacketFrom", &call_tcp, true, 0,
     "127.0.0.1|36588|" + pointer_text(kRequest)},
    {"Call_CutOffNetwork", "QuarnAssRuntimeCheck.dll", "CutOffNetwork",
     [] { return Call_CutOffNetwork(); }, true, 1, ""},
    {"Call_HaveInsertUsbKey", "QuarnAssRuntimeCheck.dll", "HaveInsertUsbKey",
     [] { return Call_HaveInsertUsbKey(); }, true, 1, ""},
    {"Call_TarnLogToFile", "QuarnAssLog.dll", "TarnLogToFile",
     [] { return Call_TarnLogToFile("%s", "x"); }, true, 0, ""},
    {"Call_TarnWriteConfig", "QuarnAssConfigMgr.dll", "TarnWriteConfig",
     [] { return Call_TarnWriteConfig("WebUrl", "http://srv"); }, true, 0, "WebUrl|http://srv"},
    {"Call_TarnReadConfig", "QuarnAssConfigMgr.dll", "TarnReadConfig", &call_read_config, true, 0,
     "WebUrl"},
};

class GatewayWrapper : public testing::TestWithParam<WrapperCase> {
  protected:
    // Exactly one level-1 record of the wrapper, under "Interface", whose
    // message starts with `prefix` (the system appends its error text).
    void expect_one_error(const std::string& prefix) {
        const auto found = traces_.find(GetParam().wrapper);
        ASSERT_EQ(1u, found.size());
        EXPECT_EQ(1u, found[0].level);
        EXPECT_EQ("Interface", found[0].source);
        EXPECT_GBK_EQ(prefix, found[0].message.substr(0, prefix.size()));
    }

    quarn::test::TraceCapture traces_;
};

TEST_P(GatewayWrapper, MissingModuleIsTracedAndGivesTheTableResult) {
    const WrapperCase& c = GetParam();
    traces_.clear();
    const int result = c.call();
    if (c.has_result) {
        EXPECT_EQ(c.missing_result, result);
    }
    expect_one_error(std::string("没有找到模块 ") + c.module);
}

TEST_P(GatewayWrapper, MissingExportIsTracedAndGivesTheTableResult) {
    const WrapperCase& c = GetParam();
    FakeModule empty(quarn::test::fake_without_exports_path(c.module));
    ASSERT_TRUE(empty.loaded());
    traces_.clear();
    const int result = c.call();
    if (c.has_result) {
        EXPECT_EQ(c.missing_result, result);
    }
    expect_one_error(std::string("没有找到接口 ") + c.export_name);
}

TEST_P(GatewayWrapper, PresentExportIsCalledWithItsArgumentsAndItsResultPassedBack) {
    const WrapperCase& c = GetParam();
    FakeModule fake(quarn::test::fake_path(c.module));
    ASSERT_TRUE(fake.loaded());
    fake.answer(c.export_name, 7, "value");
    fake.answer_pointer("GetUdpPacketFrom", 7, kReply);
    fake.answer_pointer("GetTcpPacketFrom", 7, kReply);
    traces_.clear();

    const int result = c.call();

    if (c.has_result) {
        EXPECT_EQ(7, result);
    }
    const auto calls = fake.calls_of(c.export_name);
    ASSERT_EQ(1u, calls.size());
    if (std::string(c.export_name) != "TarnLogToFile") {
        EXPECT_GBK_EQ(c.recorded, calls[0].arguments);
    }
    EXPECT_TRUE(traces_.find(c.wrapper).empty());
}

INSTANTIATE_TEST_SUITE_P(EveryWrapper, GatewayWrapper, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<WrapperCase>& param_info) {
                             return std::string(param_info.param.wrapper);
                         });

}  // namespace
