// quarnctl check: the program runs the engine in its own process on a policy
// file with the plug-in doubles and explains the verdict.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using namespace quarn::test;

std::string item(const char* id, const char* fields, const char* verdict, const char* reason) {
    return std::string("<Item><ItemID>") + id + "</ItemID>" + fields +
           "<CheckType><DLL>QuarnSamplePlugin.dll</DLL><DLLFunc>CheckByOption</DLLFunc><Option>"
           "<Verdict>" +
           verdict + "</Verdict><Reason>" + reason + "</Reason></Option></CheckType></Item>";
}

TEST(SecurityCheckTool, PrintsEachItemTheScoreAsItsSumAndTheRuleOfTheVerdict) {
    AssistantHome home;
    ASSERT_TRUE(home.add(program_dir() + "QuarnActivex.dll", "QuarnActivex.dll"));
    const std::string policy = home.path("SecurityCheckPolicy.xml");
    std::ofstream(policy, std::ios::binary)
        << "<TARN><LastCheckResult>success</LastCheckResult><SecurityCheckPolicy>"
           "<RepairConf>7</RepairConf><CheckItems>" +
               item("1001", "<Rate>30</Rate>", "Yes", "防火墙已开启") +
               item("1002", "<Key>No</Key>", "No", "系统补丁未安装") +
               item("1003", "<Key>Yes</Key><Rate>50</Rate>", "Yes", "杀毒软件正在运行") +
               "</CheckItems></SecurityCheckPolicy></TARN>";

    const std::string report = home.path("report.txt");
    // Paths without blanks: the command interpreter sees them unquoted.
    ASSERT_EQ(0, std::system((program_dir() + "quarnctl.exe check " + policy + " --plugins " +
                              fake_path("") + " --server http://10.1.2.3:8080 > " + report)
                                 .c_str()));
    std::ifstream in(report, std::ios::binary);
    std::string printed;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows text mode
        printed += line + "\n";
    }
    EXPECT_EQ(std::string(u8"item       key  weight  verdict    gained  reason\n"
                          u8"1001       -        30  Yes            30  防火墙已开启\n"
                          u8"1002       no       20  No              0  系统补丁未安装\n"
                          u8"1003       yes      50  Yes            50  杀毒软件正在运行\n"
                          u8"score   80 = 100 × 80 ÷ 100\n"
                          u8"result  fault: a non-key item failed after a passed check: a repair "
                          u8"period of 7 days starts now (fault time now)\n"),
              printed);
}

}  // namespace
