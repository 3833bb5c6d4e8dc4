// The wrappers of the sibling exports through their doubles: every wrapper
// with the module absent, the export absent and present; the contract table
// against the modules; the configuration access with its integer forms; the
// user-log line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/sibling_abi.h"
#include "interface/user_log.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

// The one level-1 record of `function`, under "Interface.cpp", starting with
// `prefix` (the system may append its error text).
void expect_one_error(TraceCapture& traces, const std::string& function,
                      const std::string& prefix) {
    const auto found = traces.find(function.c_str());
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(1u, found[0].level);
    EXPECT_EQ("Interface.cpp", found[0].source);
    EXPECT_GBK_EQ(prefix, found[0].message.substr(0, prefix.size()));
}

XmlNode* const kRequest = reinterpret_cast<XmlNode*>(0x1230);
XmlNode* const kReply = reinterpret_cast<XmlNode*>(0x4560);
constexpr int kNoResult = -1000;  // the wrapper returns nothing

std::string pointer_text(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

int received_callback(XmlNode*) {
    return 0;
}

// The packet wrappers pass the reply back only with a non-zero result.
int reply_checked(int result, XmlNode* reply) {
    return reply == kReply || result == 0 ? result : -999;
}

struct WrapperCase {
    const char* export_name;  // the wrapper is "Call_" and this name
    int (*call)();
    int missing_result;
    const char* recorded;  // the arguments the export receives; null: not compared
};

const std::string kCallbackText = pointer_text(reinterpret_cast<void*>(&received_callback));
const std::string kUdpArguments = "10.0.0.1|36537|" + pointer_text(kRequest);
const std::string kTcpArguments = "127.0.0.1|36588|" + pointer_text(kRequest);

const WrapperCase kCases[] = {
    {"InitTray", [] { return Call_InitTray(), kNoResult; }, kNoResult, ""},
    {"AddTrayIcon", [] { return Call_AddTrayIcon("小助手", "a.ico"); }, 0, "小助手|a.ico"},
    {"DelTrayIcon", [] { return Call_DelTrayIcon(); }, 0, ""},
    {"AddDynamicMenu", [] { return Call_AddDynamicMenu("M", "E"); }, 0, "M|E"},
    {"DelDynamicMenu", [] { return Call_DelDynamicMenu(); }, 0, "取消自动身份认证"},
    {"DeleteAllDynamicMenu", [] { return Call_DeleteAllDynamicMenu(), kNoResult; }, kNoResult, ""},
    {"ShowBalloonMsg", [] { return Call_ShowBalloonMsg("提示", "x", 3000); }, 0, "提示|x|3000"},
    {"AddEventNotify", [] { return Call_AddEventNotify(); }, 0, "515|Event_L_Button_D_Click"},
    {"SetPacketRecvCallBack",
     [] { return Call_SetPacketRecvCallBack(&received_callback), kNoResult; }, kNoResult,
     kCallbackText.c_str()},
    {"GetUdpPacketFrom",
     [] {
         XmlNode* reply = nullptr;
         const int result = Call_GetUdpPacketFrom("10.0.0.1", kRequest, &reply);
         return reply_checked(result, reply);
     },
     0, kUdpArguments.c_str()},
    {"GetTcpPacketFrom",
     [] {
         XmlNode* reply = nullptr;
         const int result = Call_GetTcpPacketFrom(kRequest, &reply);
         return reply_checked(result, reply);
     },
     0, kTcpArguments.c_str()},
    {"CutOffNetwork", [] { return Call_CutOffNetwork(); }, 1, ""},
    {"HaveInsertUsbKey", [] { return Call_HaveInsertUsbKey(); }, 1, ""},
    {"TarnLogToFile", [] { return Call_TarnLogToFile("%s", "x"); }, 0, nullptr},
    {"TarnWriteConfig", [] { return Call_TarnWriteConfig("Key", "v"); }, 0, "Key|v"},
    {"TarnReadConfig",
     [] {
         char* value = nullptr;
         const int result = Call_TarnReadConfig("Key", &value);
         if (value != nullptr) os::global_free(value);
         return result;
     },
     0, "Key"},
};

std::string module_of(const char* export_name) {
    for (const sibling::ExportRow& row : sibling::kExportRows) {
        if (std::string(row.name) == export_name) return row.module;
    }
    return "";
}

class GatewayWrapper : public testing::TestWithParam<WrapperCase> {
  protected:
    // Calls the wrapper without its export: the missing result and one error.
    void expect_missing(const std::string& prefix) {
        traces_.clear();
        EXPECT_EQ(GetParam().missing_result, GetParam().call());
        expect_one_error(traces_, std::string("Call_") + GetParam().export_name, prefix);
    }

    TraceCapture traces_;
};

TEST_P(GatewayWrapper, AbsentModuleOrExportIsTracedAndAPresentExportIsCalled) {
    const WrapperCase& c = GetParam();
    const std::string module = module_of(c.export_name);
    ASSERT_FALSE(module.empty());
    expect_missing("没有找到模块 " + module);

    // Right after a failed lookup: a failure is never cached.
    FakeModule fake(fake_path(module.c_str()));
    ASSERT_TRUE(fake.loaded());
    if (std::strstr(c.export_name, "PacketFrom") != nullptr) {
        fake.answer_pointer(c.export_name, 7, kReply);
    } else {
        fake.answer(c.export_name, 7, "value");
    }
    traces_.clear();
    const int result = c.call();
    EXPECT_EQ(c.missing_result == kNoResult ? kNoResult : 7, result);
    const auto calls = fake.calls_of(c.export_name);
    ASSERT_EQ(1u, calls.size());
    if (c.recorded != nullptr) {
        EXPECT_GBK_EQ(c.recorded, calls[0].arguments);
    }
    EXPECT_TRUE(traces_.find(("Call_" + std::string(c.export_name)).c_str()).empty());
    fake.unload();

    FakeModule empty(fake_without_exports_path(module.c_str()));
    ASSERT_TRUE(empty.loaded());
    expect_missing(std::string("没有找到接口 ") + c.export_name);
}

INSTANTIATE_TEST_SUITE_P(EveryWrapper, GatewayWrapper, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<WrapperCase>& param_info) {
                             return std::string(param_info.param.export_name);
                         });

// The contract table and the modules that implement it cannot drift apart:
// every row's export is found, undecorated, in the module of that name.
TEST(SiblingAbi, EveryExportOfTheTableIsFoundInItsModule) {
    for (const sibling::ExportRow& row : sibling::kExportRows) {
        SCOPED_TRACE(std::string(row.module) + " " + row.name);
        // The module-call component is the real one; every other sibling a double.
        const std::string path = std::string(row.module) == sibling::kActivexDll
                                     ? program_dir() + row.module
                                     : fake_path(row.module);
        const os::Handle module = os::module_load(path.c_str());
        ASSERT_NE(nullptr, module);
        EXPECT_NE(nullptr, os::module_symbol(module, row.name));
        os::module_free(module);
    }
}

class ConfigAccess : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        traces_.clear();
    }

    // The callers' pattern: preset "Failed", copy a found value bounded.
    static std::string read_with_failed_preset(const char* key) {
        char buffer[8] = "Failed";
        ReadConfigText(key, buffer, sizeof buffer);
        return buffer;
    }

    FakeModule config_;
    TraceCapture traces_;
};

TEST_F(ConfigAccess, FailedPresetStaysForAMissingKeyAndAWrittenValueIsReadBack) {
    EXPECT_EQ("Failed", read_with_failed_preset("CheckUrl"));
    expect_one_error(traces_, "Call_TarnReadConfig", "读取配置失败: CheckUrl = ?");

    ASSERT_NE(0, Call_TarnWriteConfig("LastAuthType", "用户"));
    EXPECT_GBK_EQ("用户", read_with_failed_preset("LastAuthType"));
    ASSERT_NE(0, Call_TarnWriteConfig("WebUrl", "http://a.b/c"));
    EXPECT_EQ("http://", read_with_failed_preset("WebUrl"));  // 7 characters and the terminator
}

TEST_F(ConfigAccess, RefusedWriteIsTracedWithKeyAndValue) {
    config_.answer("TarnWriteConfig", 0);
    EXPECT_EQ(0, Call_TarnWriteConfig("IsDisturb", "1"));
    expect_one_error(traces_, "Call_TarnWriteConfig", "写入配置失败: IsDisturb = 1");
}

TEST_F(ConfigAccess, IntegerFormsConvertLikeAtoiAndLeaveTheOutputOnFailure) {
    const struct {
        const char* stored;  // null: the key is missing
        bool found;
        int value;
    } cases[] = {
        {"42", true, 42}, {"-17", true, -17},   {"abc", true, 0}, {"12abc", true, 12},
        {"", true, 0},    {nullptr, false, 99},  // missing key: the preset default stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored != nullptr ? c.stored : "(missing)");
        config_.reset();
        if (c.stored != nullptr) {
            ASSERT_NE(0, Call_TarnWriteConfig("AuthInterval", c.stored));
        }
        int value = 99;
        EXPECT_EQ(c.found, ReadConfigInt("AuthInterval", &value) != 0);
        EXPECT_EQ(c.value, value);
    }
    config_.reset();
    EXPECT_EQ(0, ReadConfigInt("AuthInterval", nullptr));
    EXPECT_TRUE(config_.calls_of("TarnReadConfig").empty());

    ASSERT_NE(0, WriteConfigInt("CheckFailRecheckTime", -5));
    const auto calls = config_.calls_of("TarnWriteConfig");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("CheckFailRecheckTime|-5", calls[0].arguments);
}

TEST_F(ConfigAccess, ThreadsFillingTheCachedEntryPointTogetherAllReachTheStore) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 25; ++i) WriteConfigInt("Counter", t * 100 + i);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(200u, config_.calls_of("TarnWriteConfig").size());
}

const std::string kStamp = "2012-01-31 10:05:09          ";  // 29 characters

class UserLog : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        clock_.local = {2012, 1, 2, 31, 10, 5, 9, 120};
        os::seams::install_fake_clock(&clock_);
    }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }

    std::string line(std::size_t index) {
        const auto calls = log_.calls_of("TarnLogToFile");
        return index < calls.size() ? calls[index].arguments : "(no line)";
    }

    FakeModule log_;
    os::seams::FakeClock clock_;
};

TEST_F(UserLog, LineIsTimeStampTenBlanksMessageAndLineFeed) {
    EXPECT_EQ(0, Call_TarnLogToFile(nullptr));
    EXPECT_TRUE(log_.calls().empty());

    EXPECT_EQ(1, Call_TarnLogToFile("用户%s认证%s", "张三", "成功"));
    EXPECT_GBK_EQ(kStamp + "用户张三认证成功\n", line(0));
    Call_TarnLogToFile("%s", "100% %s %n");  // a message is never a format
    EXPECT_EQ(kStamp + "100% %s %n\n", line(1));
}

TEST_F(UserLog, LongMessageIsCutTo4094CharactersNeverInsideADoubleByteCharacter) {
    const std::size_t room = 4094 - kStamp.size();
    const struct {
        std::string message;
        std::string kept;
    } cases[] = {
        {std::string(5000, 'x'), std::string(room, 'x')},
        {std::string(room, 'y'), std::string(room, 'y')},
        // One byte of room is left for "汉": half a character is dropped.
        {std::string(room - 1, 'z') + "汉字", std::string(room - 1, 'z')},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        Call_TarnLogToFile("%s", cases[i].message.c_str());
        EXPECT_EQ(kStamp + cases[i].kept + "\n", line(i));
    }
}

}  // namespace
