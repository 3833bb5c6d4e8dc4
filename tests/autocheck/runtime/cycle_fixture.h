// What the admission cycle, working thread and server command tests share:
// event_fixture.h's doubles plus the communication double, the desktop
// agent's network module in its folder, the recording double as
// TarnAssistant.exe and (POSIX; Windows runs its own) ipconfig.exe, the
// local clock fixed at Monday 2 February 2026 10:00, an exit seam that
// throws, and everything seen read back as one journal.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>

#include "autocheck/runtime/check_page_process.h"
#include "os/process.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "support/helper_process.h"
#include "tests/autocheck/runtime/event_fixture.h"
#include "tests/fakes/Communicate/communicate_script.h"
#include "tests/fakes/agent_folder.h"

namespace runtime_test {

inline constexpr bool kPosix = std::filesystem::path::preferred_separator == '/';
inline constexpr char kAccepted[] = "<p>RoleID='3' PolicyID='12'</p>";

struct ExitRequested {
    std::uint32_t code;
};
inline void throw_exit(std::uint32_t code) {
    throw ExitRequested{code};
}

// An earlier check page: writes its process id to the file argv[0], lives a minute.
QUARN_TEST_HELPER(check_page_stand_in) {
    if (std::FILE* out = std::fopen(argv[0], "wb")) {
        std::fprintf(out, "%u", static_cast<unsigned>(os::process_id()));
        std::fclose(out);
    }
    os::sleep_ms(60000);
    return 0;
}

class CycleFixture : public RuntimeFixture {
  protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        ASSERT_TRUE(agent_.add(fake_path("BrimDepend.dll"), "BrimDepend.dll"));
        ASSERT_TRUE(depend_.load(agent_.path("BrimDepend.dll")));  // unloaded whole at the end
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnAssistant.exe"));
        char system[260] = "";
        os::system_directory(system, sizeof system);
        if (kPosix) {
            std::filesystem::copy_file(fake_path("TarnHtmlDlg.exe"),
                                       std::string(system) + "/ipconfig.exe");
        }
        HttpDownloadFile =
            reinterpret_cast<sibling::HttpDownloadFileFunction>(http_.symbol("HttpDownloadFile"));
        tray_.answer("AddTrayIcon", 1);
        clock_.local = {2026, 2, 1, 2, 10, 0, 0, 0};
        clock_.instant_sleep = false;
        os::seams::install_fake_clock(&clock_);
        os::seams::install_exit_hook(&throw_exit);
    }
    void TearDown() override {
        autocheck::end_check_page(autocheck::take_check_page());
        if (earlier_page_ != nullptr) {
            os::process_terminate(earlier_page_, 0);
            os::handle_close(earlier_page_);
        }
        HttpDownloadFile = nullptr;
        os::seams::install_exit_hook(nullptr);
        os::seams::install_fake_clock(nullptr);
        RuntimeFixture::TearDown();
    }

    // CheckPageProcess gets terminate access only, as the cycles need.
    void open_earlier_page() {
        const std::string pid_file = home_.appdata() + "/page.pid";
        earlier_page_ = spawn_helper("check_page_stand_in", {pid_file.c_str()});
        std::string pid;
        for (int i = 0; i < 500 && (pid = read_file(pid_file)).empty(); ++i) os::sleep_ms(20);
        ASSERT_FALSE(pid.empty());
        CheckPageProcess = os::process_open_for_terminate(std::stoul(pid));
    }
    // Waits for the earlier page only when it should have been ended.
    bool earlier_page_ended(bool expected) const {
        return os::handle_wait(earlier_page_, expected ? 10000 : 0);
    }
    template <typename Run>
    void run(Run code) {
        try {
            code();
        } catch (const ExitRequested& exit) {
            exit_code_ = static_cast<int>(exit.code);
        }
    }

    // By kind: traces of `functions`, "cycle" per admission cycle, TTL, the
    // agent's network, user-log lines starting with one of `logged`,
    // balloons, heartbeat and wake-up notices (from the trade code on, to
    // srv:36537), the programs `expected` names, the exit.
    void expect_journal(std::string expected, std::initializer_list<const char*> functions,
                        std::initializer_list<const char*> logged) {
        const std::string renew = "start ipconfig.exe -renew\n";
        for (std::size_t at; !kPosix && (at = expected.find(renew)) != std::string::npos;) {
            expected.erase(at, renew.size());
        }
        std::string out;
        for (const auto& record : traces_.records()) {
            const std::string& said = record.message;
            if (record.function == "AutoAuthAndCheck" && said == "删除安检策略") out += "cycle\n";
            for (const char* function : functions) {
                if (record.function != function) continue;
                out += (record.level == 1 ? "error: " : "trace: ") +
                       said.substr(0, said.find(" Error=")) + "\n";
            }
            if (record.function == "TarnSetIpTTL" && record.level == 2)
                out += "ttl " + said.substr(said.find_last_not_of("0123456789") + 1) + "\n";
            if (record.function == "ControlNetworkByPraxaTdi" && record.level == 2)
                out += "agent: " + said + "\n";
        }
        for (const auto& call : log_.calls_of("TarnLogToFile")) {
            const std::string line = call.arguments.substr(29, call.arguments.size() - 30);
            for (const char* text : logged) {
                if (line.rfind(text, 0) == 0) out += "log: " + line + "\n";
            }
        }
        for (const auto& call : tray_.calls_of("ShowBalloonMsg")) {
            if (call.arguments[0] != '|')
                out += "balloon: " + call.arguments + "\n";  // not cleared
        }
        const auto sent = sent_requests(comm_);
        const auto peers = comm_.calls_of("GetUdpPacketFrom");
        for (std::size_t i = 0; i < sent.size() && i < peers.size(); ++i) {
            std::string text = sent[i].text;
            for (const char blank : {'\r', '\n', '\t'})
                text.erase(std::remove(text.begin(), text.end(), blank), text.end());
            const std::size_t code = text.find("<TradeCode>") + 11;
            if (text.compare(code, 4, "Hear") == 0 || text.compare(code, 4, "Comp") == 0)
                out += "udp " + peers[i].arguments.substr(0, peers[i].arguments.rfind('|')) + " " +
                       text.substr(code) + "\n";
        }
        std::size_t programs = 0;
        const std::string lines = "\n" + expected;
        for (const char* kind : {"\nstart ", "\ndialog "}) {
            for (std::size_t at = 0; (at = lines.find(kind, at)) != std::string::npos; ++at)
                ++programs;
        }
        for (const std::string& start : started(programs)) out += start + "\n";
        if (exit_code_ >= 0) out += "exit " + std::to_string(exit_code_) + "\n";
        for (std::size_t at; (at = out.find(agent_path(""))) != std::string::npos;)
            out.replace(at, agent_path("").size(), "~\\");
        EXPECT_GBK_EQ(expected, out);
    }

    FakeModule comm_;
    AgentFolder agent_;
    FakeModule depend_;
    os::seams::FakeClock clock_;
    int exit_code_ = -1;
    os::Handle earlier_page_ = nullptr;
};

}  // namespace runtime_test
