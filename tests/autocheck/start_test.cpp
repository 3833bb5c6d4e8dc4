// Start: one assistant at a time, the check page for a start by hand, then
// the two threads. Each case runs in a helper process, whose command line
// carries the switch under test; ending the process goes through the exit
// seam.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "autocheck/startup.h"
#include "interface/config_access.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/system.h"
#include "os/time.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

// Helper exit codes.
constexpr int kStartedThreads = 10;
constexpr int kExitedAlreadyRunning = 20;  // exit 0 after "小助手已在运行"
constexpr int kExitedAfterPage = 21;       // exit 0 without it
constexpr int kExitedNonZero = 29;

struct ExitRequested {
    std::uint32_t code;
};

void throwing_exit_hook(std::uint32_t code) {
    throw ExitRequested{code};
}

// argv[0]: the switch ("none" for none); argv[1]: CheckUrl ("-" for none).
QUARN_TEST_HELPER(start_case) {
    if (argc < 2) return 2;
    FakeModule config(fake_path("QuarnAssConfigMgr.dll"));
    if (std::strcmp(argv[1], "-") != 0) Call_TarnWriteConfig("CheckUrl", argv[1]);
    // A server that cannot be reached (no HTTP client is bound here): the
    // working thread keeps waiting for it and opens no page of its own.
    Call_TarnWriteConfig("ServerDownPath", "http://srv/d/");
    TraceCapture traces;
    os::seams::install_exit_hook(&throwing_exit_hook);
    try {
        if (Start(0, 0) != 1) return 3;
    } catch (const ExitRequested& exit) {
        if (exit.code != 0) return kExitedNonZero;
        return traces.find("Start", "小助手已在运行").empty() ? kExitedAfterPage
                                                              : kExitedAlreadyRunning;
    }
    if (traces.find("Start", "QuarnAssAutoCheck.dll 启动").empty()) return 5;
    if (!traces.wait_for("WorkingThread", "", 10000)) return 6;
    if (!traces.wait_for("EventDoingThread", "", 10000)) return 7;
    // The two threads run on: end here, before the doubles they call are
    // unloaded under them.
    std::_Exit(kStartedThreads);
}

struct StartCase {
    const char* name;
    const char* command_switch;
    int assistants;  // doubles of TarnAssistant.exe: 1 stands for the caller, 2 for another too
    const char* check_url;
    int helper_result;
    const char* page_url;  // the page the dialog is opened with, or null
};

const StartCase kCases[] = {
    {"ByHandAlone", "none", 0, "http://srv/c", kStartedThreads, "http://srv/c?from=assistant"},
    {"ByHandWithAnotherRunning", "none", 2, "http://srv/c?a=1", kExitedAfterPage,
     "http://srv/c?a=1&from=assistant"},
    {"ByHandAsTheOnlyAssistant", "none", 1, "http://srv/c", kStartedThreads,
     "http://srv/c?from=assistant"},
    {"ByHandWithoutCheckUrl", "none", 0, "-", kStartedThreads, nullptr},
    {"InstallWithAnotherRunning", "-install", 2, "http://srv/c", kExitedAlreadyRunning, nullptr},
    {"InstallAlone", "-install", 0, "http://srv/c", kStartedThreads, nullptr},
    {"LogonWithAnotherRunning", "-logon", 2, "http://srv/c", kStartedThreads, nullptr},
    {"UserWithAnotherRunning", "-user", 2, "http://srv/c", kStartedThreads, nullptr},
    // A desktop link's name is no switch: this is a start by hand.
    {"ByHandThroughALinkNamedLikeASwitch", "-cl:Office-user", 2, "http://srv/c", kExitedAfterPage,
     "http://srv/c?from=assistant"},
};

class StartPaths : public testing::TestWithParam<StartCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        record_ = home_.appdata() + "/dialogs.txt";
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", record_.c_str());
    }

    void TearDown() override {
        // The doubles of other assistants, then the dialogs the case opened.
        std::vector<os::Handle> processes = assistants_;
        for (const auto& line : recorded_lines()) {
            processes.push_back(os::process_open_for_terminate(
                static_cast<std::uint32_t>(std::strtoul(line.c_str(), nullptr, 10))));
        }
        for (os::Handle process : processes) {
            if (process == nullptr) continue;
            os::process_terminate(process, 0);
            os::handle_close(process);
        }
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr);
    }

    // Doubles of TarnAssistant.exe: this test program is not one, so one
    // counts as the caller alone and two as another assistant beside it.
    void start_assistants(int count) {
        const char* const arguments[] = {"60000", nullptr};
        for (int i = 0; i < count; ++i) {
            assistants_.push_back(
                os::process_spawn(fake_path("TarnAssistant.exe").c_str(), arguments));
            ASSERT_NE(nullptr, assistants_.back());
        }
        for (int i = 0; i < 500 && os::process_count_by_name("TarnAssistant.exe", 0) < count; ++i) {
            os::sleep_ms(20);
        }
        ASSERT_GE(os::process_count_by_name("TarnAssistant.exe", 0), count);
    }

    std::vector<std::string> recorded_lines() {
        std::ifstream in(record_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    AssistantHome home_;
    std::string record_;
    std::vector<os::Handle> assistants_;
};

TEST_P(StartPaths, FollowTheSwitchAndTheRunningAssistants) {
    const StartCase& c = GetParam();
    start_assistants(c.assistants);

    EXPECT_EQ(c.helper_result,
              wait_helper(spawn_helper("start_case", {c.command_switch, c.check_url})));

    // The dialog records itself once it runs, which may be after the helper ended.
    auto lines = recorded_lines();
    for (int i = 0; c.page_url != nullptr && lines.empty() && i < 500; ++i) {
        os::sleep_ms(20);
        lines = recorded_lines();
    }
    if (c.page_url == nullptr) {
        EXPECT_TRUE(lines.empty());
        return;
    }
    ASSERT_EQ(1u, lines.size());
    // "<pid>\t<title>\t<command line>"
    const std::string& line = lines[0];
    EXPECT_NE(std::string::npos, line.find("\t入网小助手-身份认证与安全检查\t")) << line;
    EXPECT_NE(std::string::npos, line.find(c.page_url)) << line;
    EXPECT_EQ(std::string::npos, line.find(std::string(c.page_url) + "&")) << line;
    EXPECT_NE(std::string::npos, line.find("Width=0 Height=0 ShowSysIcon=0")) << line;
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, StartPaths, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<StartCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

}  // namespace
