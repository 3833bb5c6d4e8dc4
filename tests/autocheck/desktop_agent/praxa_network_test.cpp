// Cutting and restoring the network through the desktop agent: the doubles of
// its two modules sit in <system directory>\BrimAgent\ as an installed agent's
// would (a fresh folder named by QUARN_SYSTEM_DIR on POSIX, the prefix's
// system32 under Wine).
#include "autocheck/desktop_agent/praxa_network.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/process.h"
#include "os/system.h"
#include "support/gbk.h"
#include "tests/fakes/agent_folder.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

// The agent folder with the doubles a case installs.
class AgentModules : public testing::Test {
  protected:
    // The path the agent code builds: "<system directory>\BrimAgent\<file>".
    std::string path(const char* file) const { return agent_.path(file); }
    // Copies a double into the agent folder and loads it for scripting.
    void install(FakeModule* module, const std::string& source, const char* file) const {
        ASSERT_TRUE(agent_.add(source, file));
        ASSERT_TRUE(module->load(path(file)));
    }

    AgentFolder agent_;
};

std::string options(const std::string& way, const std::string& except_ip, const std::string& time) {
    return "<KORV><PolicyList><Policy><Option><CutoffNetwork><CutWay>" + way +
           "</CutWay><ExceptIP>" + except_ip + "</ExceptIP><RestoreTime>" + time +
           "</RestoreTime></CutoffNetwork></Option></Policy></PolicyList></KORV>";
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
    const char* depend_calls;    // "Name(arguments) " per call
    const char* database_calls;  // "Name " per call
    int opened = 1;              // DB_OpenConfigDB_Read's answer
    int read = 1;                // DB_ReadConfigDB's answer once it is handed a buffer
    bool database_exports = true;
};

const char kNoAgentTrace[] = "1 BrimDepend.dll 加载失败，Praxa客户端可能没装,无法通过TDI控制网络\n";
const char kReadCalls[] = "DB_OpenConfigDB_Read DB_ReadConfigDB DB_ReadConfigDB DB_CloseConfigDB ";

const AgentCase kCases[] = {
    {"NoAgentCut", 1, kNoAgent, false, "", 0, kNoAgentTrace, "", ""},
    {"NoAgentRestore", 0, kNoAgent, false, "", 0, kNoAgentTrace, "", ""},
    {"ExportsMissing", 0, kDependWithoutExports, true, "", 0,
     "1 取接口地址CutoffNetwork或SetCutNetOption失败\n", "", ""},
    {"RestoreWithoutDatabase", 0, kDepend, false, "", 1, "2 通过Praxa的TDI放开网络\n",
     "CutoffNetwork(0|0|0) ", ""},
    {"CutWithoutDatabase", 1, kDepend, false, "", 0,
     "2 通过TDI， 断开网络\n1 BrimDatabase.dll 加载失败，无法通过TDI控制网络\n", "", ""},
    {"NoAgentOptionRecord", 1, kDepend, true, "", 0,
     "2 通过TDI， 断开网络\n1 没有取到 AgentOption 信息，无法断开网络\n", "",
     "DB_OpenConfigDB_Read DB_ReadConfigDB DB_CloseConfigDB "},
    {"EmptyExceptIpRefused", 1, kDepend, true, options("1", "", "30"), 0,
     "2 通过TDI， 断开网络\n1 没有取到例外IP，这样断网后无法和TARN服务器通信，是否配置有问题？"
     "没有把TARN服务器放开？\n",
     "", kReadCalls},
    {"RestoreTimeNotANumberRefused", 1, kDepend, true, options("1", "10.1.1.1", "abc"), 0,
     "2 通过TDI， 断开网络\n1 取断网选项信息失败\n", "", kReadCalls},
    {"CutWithTheAgentsOptions", 1, kDepend, true, options("2", "10.1.1.1;10.1.1.2", "45"), 1,
     "2 通过TDI， 断开网络\n", "SetCutNetOption(2|10.1.1.1;10.1.1.2|45) CutoffNetwork(1|45|0) ",
     kReadCalls},
    {"DatabaseDoesNotOpen", 1, kDepend, true, options("2", "10.1.1.1", "45"), 0,
     "2 通过TDI， 断开网络\n1 DB_OpenConfigDB_Read打开Praxa数据库失败，无法通过TDI控制网络\n", "",
     "DB_OpenConfigDB_Read ", 0},
    {"DatabaseExportsMissing", 1, kDepend, true, "", 0,
     "2 通过TDI， 断开网络\n1 取数据库操作接口失败，无法读取Praxa数据，无法通过TDI控制网络\n", "",
     "", 1, 1, false},
    {"RecordUnreadable", 1, kDepend, true, options("2", "10.1.1.1", "45"), 0,
     "2 通过TDI， 断开网络\n1 没有取到 AgentOption 信息，无法断开网络\n", "", kReadCalls, 1, 0},
    {"UnparsableRecord", 1, kDepend, true, "no document", 0,
     "2 通过TDI， 断开网络\n1 cutil_xml_import( pAgentOptionStr ) 失败，无法断开网络\n", "",
     kReadCalls},
    {"NoCutWayRefused", 1, kDepend, true,
     "<KORV><PolicyList><Policy><Option><CutoffNetwork><ExceptIP>10.1.1.1</ExceptIP>"
     "<RestoreTime>45</RestoreTime></CutoffNetwork></Option></Policy></PolicyList></KORV>",
     0, "2 通过TDI， 断开网络\n1 取断网选项信息失败\n", "", kReadCalls},
    {"FaultInsideTheAgent", 0, kDependFaulting, false, "", 0,
     "2 通过Praxa的TDI放开网络\n1 ControlNetworkByPraxaTdi 发生异常\n", "CutoffNetwork(0|0|0) ",
     ""},
};

class PraxaNetwork : public AgentModules, public testing::WithParamInterface<AgentCase> {};

TEST_P(PraxaNetwork, AsksTheAgentOnlyWithCompleteOptions) {
    const AgentCase& c = GetParam();
    FakeModule depend;
    FakeModule database;
    if (c.depend != kNoAgent) {
        install(&depend,
                c.depend == kDependWithoutExports ? fake_without_exports_path("BrimDepend.dll")
                                                  : fake_path("BrimDepend.dll"),
                "BrimDepend.dll");
        if (c.depend == kDependFaulting) depend.answer("CutoffNetwork", 1, "fault");
    }
    if (c.database) {
        install(&database,
                c.database_exports ? fake_path("BrimDatabase.dll")
                                   : fake_without_exports_path("BrimDatabase.dll"),
                "BrimDatabase.dll");
    }
    if (!c.record.empty()) database.answer("DB_ReadConfigDB", c.read, c.record.c_str());
    if (c.opened != 1) database.answer("DB_OpenConfigDB_Read", c.opened);
    TraceCapture traces;
    traces.clear();

    EXPECT_EQ(c.result, ControlNetworkByPraxaTdi(c.cut));

    std::string traced;
    for (const auto& record : traces.find("ControlNetworkByPraxaTdi")) {
        EXPECT_EQ("QuarnAssSupportPraxa.cpp", record.source);
        // Error records end in the system's " Error=…" text, which is not ours to fix.
        traced += std::to_string(record.level) + " " +
                  record.message.substr(0, record.message.find(" Error=")) + "\n";
    }
    EXPECT_GBK_EQ(c.traces, traced);
    std::string depend_calls;
    for (const auto& call : depend.calls()) depend_calls += call.name + "(" + call.arguments + ") ";
    EXPECT_EQ(c.depend_calls, depend_calls);
    std::string database_calls;
    for (const auto& call : database.calls()) database_calls += call.name + " ";
    EXPECT_EQ(c.database_calls, database_calls);
    if (!database.calls().empty()) {
        EXPECT_EQ(path("BrimConfig.dat") + "|1", database.calls()[0].arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(EachPath, PraxaNetwork, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AgentModules, ModulePathHasOneSeparatorBeforeTheNameAndStaysInItsBuffer) {
    const std::string expected = path("x.dll");
    char buffer[260];
    EXPECT_EQ(1, GetAgentModulePath(buffer, sizeof buffer, "\\%s", "x.dll"));
    EXPECT_EQ(expected, buffer);
    // Each piece is cut to the buffer; a system directory that does not fit
    // leaves it empty.
    const std::size_t directory = expected.size() - std::strlen("\\BrimAgent\\x.dll");
    std::memset(buffer, 'z', sizeof buffer);
    GetAgentModulePath(buffer, directory + 6, "%s", "x.dll");
    EXPECT_EQ(expected.substr(0, directory + 5) + '\0' + 'z', std::string(buffer, directory + 7));
    GetAgentModulePath(buffer, directory, "%s", "x.dll");
    EXPECT_STREQ("", buffer);
    // No buffer, or no room in it: nothing is written, and still 1.
    EXPECT_EQ(1, GetAgentModulePath(nullptr, sizeof buffer, "%s", "x.dll"));
    buffer[0] = 'z';
    EXPECT_EQ(1, GetAgentModulePath(buffer, 0, "%s", "x.dll"));
    EXPECT_EQ('z', buffer[0]);
    EXPECT_EQ(1, GetAgentModulePath(buffer, 1, "%s", "x.dll"));
    EXPECT_EQ('\0', buffer[0]);
}

}  // namespace
