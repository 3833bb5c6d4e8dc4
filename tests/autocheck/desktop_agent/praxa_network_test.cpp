// Cutting and restoring the network through the desktop agent: the doubles of
// its two modules sit in <system directory>\BrimAgent\ as an installed agent's
// would (a fresh folder named by QUARN_SYSTEM_DIR on POSIX, the prefix's
// system32 under Wine).
#include "autocheck/desktop_agent/praxa_network.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "os/process.h"
#include "os/system.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

constexpr bool kPosix = fs::path::preferred_separator == '/';

class AgentFolder {
  public:
    AgentFolder() {
        if (kPosix) {
            system_ =
                fs::temp_directory_path() / ("quarn-system-" + std::to_string(os::process_id()));
            os::env_set("QUARN_SYSTEM_DIR", system_.string().c_str());
        } else {
            char directory[260] = "";
            os::system_directory(directory, sizeof directory);
            system_ = directory;
        }
        std::error_code ignored;
        fs::remove_all(system_ / "BrimAgent", ignored);
        fs::create_directories(system_ / "BrimAgent");
    }
    ~AgentFolder() {
        std::error_code ignored;
        fs::remove_all(system_ / "BrimAgent", ignored);
        if (kPosix) {
            fs::remove_all(system_, ignored);
            os::env_set("QUARN_SYSTEM_DIR", nullptr);
        }
    }
    // The path the agent code builds: "<system directory>\BrimAgent\<file>".
    std::string path(const char* file) const { return system_.string() + "\\BrimAgent\\" + file; }
    bool add(const std::string& source, const char* file) const {
        std::error_code error;
        fs::copy_file(source, system_ / "BrimAgent" / file, error);
        return !error;
    }

  private:
    fs::path system_;
};

const char kOptions[] =
    "<KORV><PolicyList><Policy><Option><CutoffNetwork><CutWay>%s</CutWay><ExceptIP>%s</ExceptIP>"
    "<RestoreTime>%s</RestoreTime></CutoffNetwork></Option></Policy></PolicyList></KORV>";

std::string options(const char* cut_way, const char* except_ip, const char* restore_time) {
    char text[512];
    std::snprintf(text, sizeof text, kOptions, cut_way, except_ip, restore_time);
    return text;
}

enum Depend { kNoAgent, kDepend, kDependWithoutExports, kDependFaulting };

struct AgentCase {
    const char* name;
    int cut;
    Depend depend;
    bool database;
    std::string record;  // the AgentOption record; empty: the database has none
    int result;
    const char* traces;          // "<level> <message>" per record, in order
    const char* depend_calls;    // "Name(arguments)" per call
    const char* database_calls;  // the same; "$DB" is the database file's path
};

const char kCutting[] = "2 通过TDI， 断开网络\n";
const char kReadCalls[] =
    "DB_OpenConfigDB_Read($DB|1) DB_ReadConfigDB(AgentOption|(null)|0) "
    "DB_ReadConfigDB(AgentOption|buffer|";

const AgentCase kCases[] = {
    {"NoAgentCut", 1, kNoAgent, false, "", 0,
     "1 BrimDepend.dll 加载失败，Praxa客户端可能没装,无法通过TDI控制网络\n", "", ""},
    {"NoAgentRestore", 0, kNoAgent, false, "", 0,
     "1 BrimDepend.dll 加载失败，Praxa客户端可能没装,无法通过TDI控制网络\n", "", ""},
    {"ExportsMissing", 0, kDependWithoutExports, true, "", 0,
     "1 取接口地址CutoffNetwork或SetCutNetOption失败\n", "", ""},
    {"RestoreWithoutDatabase", 0, kDepend, false, "", 1, "2 通过Praxa的TDI放开网络\n",
     "CutoffNetwork(0|0|0) ", ""},
    {"CutWithoutDatabase", 1, kDepend, false, "", 0,
     "2 通过TDI， 断开网络\n1 BrimDatabase.dll 加载失败，无法通过TDI控制网络\n", "", ""},
    {"NoAgentOptionRecord", 1, kDepend, true, "", 0,
     "2 通过TDI， 断开网络\n1 没有取到 AgentOption 信息，无法断开网络\n", "",
     "DB_OpenConfigDB_Read($DB|1) DB_ReadConfigDB(AgentOption|(null)|0) DB_CloseConfigDB() "},
    {"EmptyExceptIpRefused", 1, kDepend, true, options("1", "", "30"), 0,
     "2 通过TDI， 断开网络\n1 没有取到例外IP，这样断网后无法和TARN服务器通信，是否配置有问题？"
     "没有把TARN服务器放开？\n",
     "", kReadCalls},
    {"RestoreTimeNotANumberRefused", 1, kDepend, true, options("1", "10.1.1.1", "abc"), 0,
     "2 通过TDI， 断开网络\n1 取断网选项信息失败\n", "", kReadCalls},
    {"CutWithTheAgentsOptions", 1, kDepend, true, options("2", "10.1.1.1;10.1.1.2", "45"), 1,
     kCutting, "SetCutNetOption(2|10.1.1.1;10.1.1.2|45) CutoffNetwork(1|45|0) ", kReadCalls},
    {"FaultInsideTheAgent", 0, kDependFaulting, false, "", 0,
     "2 通过Praxa的TDI放开网络\n1 ControlNetworkByPraxaTdi 发生异常\n", "CutoffNetwork(0|0|0) ",
     ""},
};

std::string joined(const FakeModule& module) {
    std::string out;
    for (const RecordedCall& call : module.calls()) out += call.name + "(" + call.arguments + ") ";
    return out;
}

class PraxaNetwork : public testing::TestWithParam<AgentCase> {};

TEST_P(PraxaNetwork, AsksTheAgentOnlyWithCompleteOptions) {
    const AgentCase& c = GetParam();
    AgentFolder agent;
    FakeModule depend;
    FakeModule database;
    if (c.depend != kNoAgent) {
        const std::string source = c.depend == kDependWithoutExports
                                       ? fake_without_exports_path("BrimDepend.dll")
                                       : fake_path("BrimDepend.dll");
        ASSERT_TRUE(agent.add(source, "BrimDepend.dll"));
        ASSERT_TRUE(depend.load(agent.path("BrimDepend.dll")));
        if (c.depend == kDependFaulting) depend.answer("CutoffNetwork", 1, "fault");
    }
    if (c.database) {
        ASSERT_TRUE(agent.add(fake_path("BrimDatabase.dll"), "BrimDatabase.dll"));
        ASSERT_TRUE(database.load(agent.path("BrimDatabase.dll")));
        if (!c.record.empty()) database.answer("DB_ReadConfigDB", 1, c.record.c_str());
    }
    TraceCapture traces;
    traces.clear();

    EXPECT_EQ(c.result, ControlNetworkByPraxaTdi(c.cut));

    std::string traced;
    for (const auto& record : traces.find("ControlNetworkByPraxaTdi")) {
        EXPECT_EQ("QuarnAssSupportPraxa.cpp", record.source);
        // Error records end in the system's " Error=…" text, which is not ours to fix.
        const std::string message = record.message.substr(0, record.message.find(" Error="));
        traced += std::to_string(record.level) + " " + message + "\n";
    }
    EXPECT_GBK_EQ(c.traces, traced);
    EXPECT_EQ(c.depend_calls, joined(depend));
    std::string database_calls = c.database_calls;
    if (database_calls == kReadCalls) {
        // The record is read into a block of its own size, then the database closed.
        database_calls += std::to_string(c.record.size() + 1) + ") DB_CloseConfigDB() ";
    }
    const std::size_t db = database_calls.find("$DB");
    if (db != std::string::npos) database_calls.replace(db, 3, agent.path("BrimConfig.dat"));
    EXPECT_EQ(database_calls, joined(database));
}

INSTANTIATE_TEST_SUITE_P(EachPath, PraxaNetwork, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<AgentCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(AgentModulePath, OneSeparatorBeforeTheNameAndNeverPastTheBuffer) {
    AgentFolder agent;
    const std::string expected = agent.path("x.dll");
    char path[260];
    EXPECT_EQ(1, GetAgentModulePath(path, sizeof path, "%s", "x.dll"));
    EXPECT_EQ(expected, path);
    GetAgentModulePath(path, sizeof path, "\\%s", "x.dll");
    EXPECT_EQ(expected, path);
    GetAgentModulePath(path, sizeof path, "/%s", "x.dll");
    EXPECT_EQ(expected.substr(0, expected.size() - 6) + "/x.dll", path);
    // Each piece is cut to the buffer; a system directory that does not fit
    // leaves it empty.
    const std::size_t directory = expected.size() - std::strlen("\\BrimAgent\\x.dll");
    char small[64];
    std::memset(small, 'z', sizeof small);
    GetAgentModulePath(small, directory + 6, "%s", "x.dll");
    EXPECT_EQ(expected.substr(0, directory + 5), small);
    EXPECT_EQ('z', small[directory + 6]);
    GetAgentModulePath(small, directory, "%s", "x.dll");
    EXPECT_STREQ("", small);
}

}  // namespace
