#include "os/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

#include "os/error.h"
#include "os/event.h"
#include "os/module.h"
#include "os/seams.h"
#include "os/shared_memory.h"
#include "os/time.h"
#include "os/types.h"
#include "support/helper_process.h"
#include "tests/os/test_names.h"

namespace {

using quarn::test::spawn_helper;
using quarn::test::unique_name;
using quarn::test::wait_helper;

QUARN_TEST_HELPER(exit_with) {
    return std::atoi(argv[0]);
}

// Sleeps until killed (or a minute passes).
QUARN_TEST_HELPER(linger) {
    os::sleep_ms(60000);
    return 0;
}

// argv: shared memory name. Writes its process id there, then lingers.
QUARN_TEST_HELPER(report_pid) {
    os::SharedMemory box;
    if (!os::shared_memory_open(argv[0], 4096, &box)) return 2;
    *static_cast<volatile std::uint32_t*>(box.view) = os::process_id();
    os::sleep_ms(60000);
    os::shared_memory_close(&box);
    return 0;
}

// Ends the whole process with code 0 while another thread is still busy.
QUARN_TEST_HELPER(exit_while_busy) {
    os::thread_start(
        [](void*) -> std::uint32_t {
            for (;;) os::sleep_ms(1);
        },
        nullptr);
    os::sleep_ms(20);
    os::process_exit(0);
}

// Checks its own arguments: argv must equal the expected list.
QUARN_TEST_HELPER(check_arguments) {
    const char* expected[] = {"a b", "c", "say \"hi\"", "back\\slash\\"};
    if (argc != 4) return 100 + argc;
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(argv[i], expected[i]) != 0) return 10 + i;
    }
    // The command line as the system gives it names the helper too.
    return std::strstr(os::process_command_line(), "check_arguments") != nullptr ? 0 : 20;
}

std::string executable_path() {
    char path[1024];
    os::module_executable_path(path, sizeof path);
    return path;
}

std::string executable_name() {
    const std::string path = executable_path();
    return path.substr(path.find_last_of("\\/") + 1);
}

std::string flip_case(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(std::islower(u) ? std::toupper(u) : std::tolower(u));
    }
    return text;
}

TEST(Process, IdsOfThisProcessAndThread) {
    EXPECT_NE(0u, os::process_id());
    std::uint32_t other = 0;
    os::Handle thread = os::thread_start(
        [](void* data) -> std::uint32_t {
            *static_cast<std::uint32_t*>(data) = os::thread_id();
            return 0;
        },
        &other);
    ASSERT_NE(nullptr, thread);
    ASSERT_TRUE(os::handle_wait(thread, 10000));
    os::handle_close(thread);
    EXPECT_NE(0u, other);
    EXPECT_NE(os::thread_id(), other);
}

TEST(Process, ThreadRunsOnAfterItsHandleIsClosed) {
    static std::atomic<int> ran{0};
    os::Handle gate = os::event_create(nullptr, os::EventReset::kManual, false);
    os::Handle thread = os::thread_start(
        [](void* data) -> std::uint32_t {
            os::event_wait(data, 10000);
            ran = 1;
            return 0;
        },
        gate);
    ASSERT_NE(nullptr, thread);
    EXPECT_FALSE(os::handle_wait(thread, 20)) << "still waiting for the gate";
    os::handle_close(thread);
    os::event_set(gate);
    for (int i = 0; i < 1000 && ran == 0; ++i) os::sleep_ms(5);
    EXPECT_EQ(1, ran.load());
    os::sleep_ms(20);  // let it leave before the gate closes
    os::event_close(gate);
}

TEST(Process, SpawnWaitAndExitCode) {
    os::Handle helper = spawn_helper("exit_with", {"42"});
    ASSERT_NE(nullptr, helper);
    ASSERT_TRUE(os::handle_wait(helper, 20000));
    std::uint32_t code = 0;
    ASSERT_TRUE(os::process_exit_code(helper, &code));
    EXPECT_EQ(42u, code);
    EXPECT_TRUE(os::process_exit_code(helper, &code)) << "asked twice";
    os::handle_close(helper);
}

TEST(Process, SpawnOfAMissingProgramFails) {
    const char* none[] = {nullptr};
    EXPECT_EQ(nullptr, os::process_spawn("/no/such/program.exe", none));
    EXPECT_NE(os::kErrorSuccess, os::last_error());
}

TEST(Process, TerminateEndsItWithTheGivenCode) {
    os::Handle helper = spawn_helper("linger");
    ASSERT_NE(nullptr, helper);
    std::uint32_t code = 0;
    EXPECT_FALSE(os::handle_wait(helper, 50));
    EXPECT_FALSE(os::process_exit_code(helper, &code)) << "still running";
    ASSERT_TRUE(os::process_terminate(helper, 7));
    ASSERT_TRUE(os::handle_wait(helper, 20000));
    ASSERT_TRUE(os::process_exit_code(helper, &code));
    EXPECT_EQ(7u, code);
    os::handle_close(helper);
}

TEST(Process, OpenByIdForTermination) {
    const std::string name = unique_name("pid box");
    os::SharedMemory box;
    ASSERT_TRUE(os::shared_memory_create(name.c_str(), 4096, &box));
    os::Handle helper = spawn_helper("report_pid", {name.c_str()});
    ASSERT_NE(nullptr, helper);
    auto* pid = static_cast<volatile std::uint32_t*>(box.view);
    for (int i = 0; i < 2000 && *pid == 0; ++i) os::sleep_ms(5);
    ASSERT_NE(0u, *pid);

    os::Handle opened = os::process_open_for_terminate(*pid);
    ASSERT_NE(nullptr, opened);
    EXPECT_TRUE(os::process_terminate(opened, 3));
    os::handle_close(opened);
    EXPECT_TRUE(os::handle_wait(helper, 20000)) << "ended for its parent too";
    os::handle_close(helper);
    os::shared_memory_close(&box);

    EXPECT_EQ(nullptr, os::process_open_for_terminate(0x7FFFFFF0u));
}

TEST(Process, CountByNameComparesTheListedNameOverItsOwnLength) {
    const std::string name = executable_name();
    EXPECT_GE(os::process_count_by_name(name.c_str(), 0), 1);
    EXPECT_GE(os::process_count_by_name(flip_case(name).c_str(), 0), 1) << "without regard to case";
    // The listed name must match the beginning of the given one.
    EXPECT_GE(os::process_count_by_name((name + "trailing").c_str(), 0), 1);
    EXPECT_EQ(0, os::process_count_by_name(name.substr(0, name.size() - 1).c_str(), 0));
    EXPECT_EQ(0, os::process_count_by_name("QuarnNoSuchProgram.exe", 0));

    const int before = os::process_count_by_name(name.c_str(), 0);
    os::Handle helper = spawn_helper("linger");
    ASSERT_NE(nullptr, helper);
    int during = 0;
    for (int i = 0; i < 200 && during <= before; ++i) {
        during = os::process_count_by_name(name.c_str(), 0);
        if (during <= before) os::sleep_ms(10);
    }
    EXPECT_GT(during, before);
    EXPECT_EQ(1, os::process_count_by_name(name.c_str(), 1)) << "counting stops at 1";
    os::process_terminate(helper, 0);
    wait_helper(helper);
}

TEST(Process, ShellOpenSplitsParametersLikeAWindowsCommandLine) {
    const std::string self = executable_path();
    os::Handle helper = nullptr;
    ASSERT_TRUE(os::process_shell_open(
        self.c_str(), "--quarn-helper=check_arguments \"a b\" c \"say \\\"hi\\\"\" back\\slash\\",
        1, &helper));
    ASSERT_NE(nullptr, helper);
    EXPECT_EQ(0, wait_helper(helper));
}

struct ExitObserved {
    std::uint32_t code;
};

void throw_exit(std::uint32_t code) {
    throw ExitObserved{code};
}

TEST(Process, ExitGoesThroughTheHookFirst) {
    os::seams::install_exit_hook(throw_exit);
    std::uint32_t observed = 1234;
    try {
        os::process_exit(0);
    } catch (const ExitObserved& exit) {
        observed = exit.code;
    }
    os::seams::install_exit_hook(nullptr);
    EXPECT_EQ(0u, observed);
}

TEST(Process, ExitEndsEveryThreadWithTheCode) {
    EXPECT_EQ(0, wait_helper(spawn_helper("exit_while_busy")));
}

TEST(Process, ShellOpenOfAMissingFileFails) {
    os::Handle helper = reinterpret_cast<os::Handle>(1);
    EXPECT_FALSE(os::process_shell_open("QuarnNoSuchProgram.exe", "", 1, &helper));
    EXPECT_EQ(nullptr, helper);
}

}  // namespace
