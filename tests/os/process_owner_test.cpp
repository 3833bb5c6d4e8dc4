// Counting the caller's own processes: a process of another user with the
// same name is left out. The other user's process needs root to start it
// (setpriv), so that row runs natively as root only. A process in another pid
// namespace (a container started from this machine) is not counted or ended.
#include "os/process_owner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "os/module.h"
#include "os/process.h"
#include "os/time.h"
#include "support/helper_process.h"

namespace {

bool running_as_root() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 4, "Uid:") != 0) continue;
        long uid = -1;
        std::istringstream(line.substr(4)) >> uid;
        return uid == 0;
    }
    return false;
}

std::string own_name() {
    char path[1024] = "";
    const std::size_t length = os::module_executable_path(path, sizeof path);
    const std::string text(path, length < sizeof path ? length : 0);
    return text.substr(text.find_last_of("\\/") + 1);
}

// A copy of sleep named `name` in a folder of its own (which the test removes);
// empty where the launcher `tool` cannot run it (not root, no such tool).
std::filesystem::path probe_program(const char* tool, const char* name) {
    if (!std::filesystem::exists(tool) || !running_as_root()) return {};
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("quarn-probe-" + std::to_string(os::process_id()) + "-" + name);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file("/bin/sleep", folder / name);
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    return folder / name;
}

TEST(ProcessOwner, OwnProcessesCountedOthersNot) {
    const std::string name = own_name();
    EXPECT_GE(os::process_count_own_by_name(name.c_str(), 0), 1) << "this test program";
    EXPECT_EQ(1, os::process_count_own_by_name(name.c_str(), 1)) << "counting stops at 1";
    EXPECT_EQ(0, os::process_count_own_by_name("QuarnNoSuchProgram.exe", 0));

#ifdef _WIN32
    GTEST_SKIP() << "a second user's process is started natively only";
#endif
    // A program of another user named like ours.
    const char* setpriv = "/usr/bin/setpriv";
    const std::filesystem::path program = probe_program(setpriv, "QuarnOwnerProbe.exe");
    if (program.empty()) GTEST_SKIP() << "another user's process needs root and setpriv";
    const std::string path = program.string();
    const char* arguments[] = {
        "--reuid=65534", "--regid=65534", "--clear-groups", path.c_str(), "20", nullptr};
    const os::Handle other = os::process_spawn(setpriv, arguments);
    ASSERT_NE(nullptr, other);
    int listed = 0;
    for (int i = 0; i < 400 && listed == 0; ++i) {
        listed = os::process_count_by_name("QuarnOwnerProbe.exe", 0);
        if (listed == 0) os::sleep_ms(10);
    }
    EXPECT_EQ(1, listed) << "the process runs";
    EXPECT_EQ(0, os::process_count_own_by_name("QuarnOwnerProbe.exe", 0));
    os::process_terminate(other, 0);
    quarn::test::wait_helper(other);
    std::filesystem::remove_all(program.parent_path());
}

TEST(ProcessOwner, ProcessesOfAnotherPidNamespaceAreNotOfThisMachine) {
#ifdef _WIN32
    GTEST_SKIP() << "pid namespaces are a POSIX matter";
#endif
    const char* unshare = "/usr/bin/unshare";
    const std::filesystem::path program = probe_program(unshare, "QuarnNamespaceProbe.exe");
    if (program.empty()) GTEST_SKIP() << "a pid namespace needs root and unshare";
    const std::string path = program.string();
    // The same program in this namespace (counted), then in a new one.
    const char* here[] = {"--fork", "--kill-child", path.c_str(), "20", nullptr};
    const char* apart[] = {"--pid", "--fork", "--kill-child", path.c_str(), "20", nullptr};
    // Whether the program runs, as /proc shows it whatever its namespace.
    const auto running = [&path] {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            if (std::filesystem::read_symlink(entry.path() / "exe", error) == path) return true;
        }
        return false;
    };
    struct Row {
        const char* const* arguments;
        int counted;
    };
    for (const Row& row : {Row{here, 1}, Row{apart, 0}}) {
        const os::Handle launcher = os::process_spawn(unshare, row.arguments);
        ASSERT_NE(nullptr, launcher);
        for (int i = 0; i < 400 && !running(); ++i) os::sleep_ms(10);
        ASSERT_TRUE(running());
        SCOPED_TRACE(row.counted);
        EXPECT_EQ(row.counted, os::process_count_by_name("QuarnNamespaceProbe.exe", 0));
        EXPECT_EQ(row.counted, os::process_count_own_by_name("QuarnNamespaceProbe.exe", 0));
        os::process_terminate(launcher, 0);
        quarn::test::wait_helper(launcher);
        // The program ends with its launcher (--kill-child), a moment later.
        for (int i = 0; i < 400 && running(); ++i) os::sleep_ms(10);
        ASSERT_FALSE(running());
    }
    std::filesystem::remove_all(program.parent_path());
}

}  // namespace
