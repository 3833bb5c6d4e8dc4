// The assistant host as the installation starts it: "-cl:<name>|-install"
// leaves a desktop link and a logon start and keeps running; "-u" ends it and
// removes what was installed, keeping the user log.
#include "programs/TarnAssistant/host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "interface/sibling_abi.h"
#include "os/file.h"
#include "os/process.h"
#include "os/session.h"
#include "os/system.h"
#include "siblings/QuarnActivex/module_fetch.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using quarn::test::AssistantHome;
using quarn::test::program_dir;

bool exists(const std::string& path) {
    return os::file_attributes(path.c_str()) != os::kInvalidFileAttributes;
}

template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 300; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

// The session's places (POSIX: XDG folders under a throw-away home; Windows:
// the test prefix's own user).
class SessionHome {
  public:
    explicit SessionHome(const std::string& base) {
#ifndef _WIN32
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            char value[1024] = "";
            saved_.push_back(os::env_get(name, value, sizeof value) > 0 ? value : "");
        }
        os::env_set("HOME", (base + "/home").c_str());
        os::env_set("XDG_CONFIG_HOME", (base + "/config").c_str());
#else
        (void)base;
#endif
    }
    ~SessionHome() {
#ifndef _WIN32
        const char* names[] = {"HOME", "XDG_CONFIG_HOME"};
        for (std::size_t i = 0; i < saved_.size(); ++i)
            os::env_set(names[i], saved_[i].empty() ? nullptr : saved_[i].c_str());
#endif
    }

  private:
    std::vector<std::string> saved_;
};

TEST(AssistantHost, InstallsThenUninstallsWhatItMade) {
    AssistantHome home;
    SessionHome session(home.appdata());
    const char* product[] = {sibling::kAssistantExe, sibling::kAutoCheckDll, sibling::kConfigMgrDll,
                             sibling::kLogDll};
    for (const char* file : product) ASSERT_TRUE(home.add(program_dir() + file, file)) << file;
    const std::string assistant = home.path(sibling::kAssistantExe);
    const char* link = "Quarn Test Link";

    const char* install_arguments[] = {"-cl:Quarn", "Test Link|-install", nullptr};
    os::Handle running = os::process_spawn(assistant.c_str(), install_arguments);
    ASSERT_NE(nullptr, running);
    EXPECT_TRUE(eventually([&] { return exists(os::desktop_link_path(link)); }));
    EXPECT_TRUE(eventually([] {
        return os::autostart_command(assistant::kAutostartName).find("-logon") != std::string::npos;
    }));
    EXPECT_NE(std::string::npos,
              os::autostart_command(assistant::kAutostartName).find(sibling::kAssistantExe));
    EXPECT_TRUE(eventually([&] { return exists(home.path(config_store::kStoreFileName)); }));
    std::uint32_t code = 0;
    EXPECT_FALSE(os::process_exit_code(running, &code)) << "the installed assistant stays up";

    std::ofstream(home.path("QuarnAssAutoCheck.inf")) << "[Config]\r\n";
    std::ofstream(home.path("TarnAssistant.log")) << "kept\r\n";
    // The module cache goes whole: a folder and a read-only module in it too.
    const std::string cache = home.path(activex::kCacheFolder);
    os::directory_create(cache.c_str());
    os::directory_create((cache + "/old").c_str());
    std::ofstream(cache + "/old/QuarnCheckFile-00.dll") << "module";
    std::ofstream(cache + "/QuarnCheckFile-01.dll") << "module";
    os::file_set_attributes((cache + "/QuarnCheckFile-01.dll").c_str(), os::kFileAttributeReadOnly);
    const char* uninstall_arguments[] = {"-u", nullptr};
    os::Handle uninstaller = os::process_spawn(assistant.c_str(), uninstall_arguments);
    ASSERT_NE(nullptr, uninstaller);
    ASSERT_TRUE(os::handle_wait(uninstaller, 30000));
    EXPECT_TRUE(os::process_exit_code(uninstaller, &code));
    EXPECT_EQ(0u, code);
    os::handle_close(uninstaller);

    // The running assistant was asked to end and did so cleanly.
    ASSERT_TRUE(os::handle_wait(running, 30000));
    EXPECT_TRUE(os::process_exit_code(running, &code));
    EXPECT_EQ(0u, code);
    os::handle_close(running);
    EXPECT_FALSE(exists(os::desktop_link_path(link)));
    EXPECT_EQ("", os::autostart_command(assistant::kAutostartName));
    EXPECT_FALSE(exists(home.path("QuarnAssAutoCheck.inf")));
    EXPECT_FALSE(exists(home.path(config_store::kStoreFileName)));
    EXPECT_TRUE(exists(home.path("TarnAssistant.log")));
    EXPECT_FALSE(exists(cache));
}

}  // namespace
