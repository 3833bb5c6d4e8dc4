// An idle communicator sleeps: its threads block on their sockets and the
// stop signal, so over a quiet second none of them is switched in. Counted
// from the threads' context switches where the system lists them (Linux;
// under Wine the benchmark measures them).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "siblings/QuarnAssCommunicate/communicator.h"
#include "siblings/communicate/fixture.h"

namespace {

using namespace quarn::test;

const std::filesystem::path kTasks = "/proc/self/task";

std::set<std::string> thread_ids() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator(kTasks))
        ids.insert(entry.path().filename().string());
    return ids;
}

// Voluntary and involuntary switches of one thread so far.
long switches_of(const std::string& id) {
    std::ifstream status(kTasks / id / "status");
    long total = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.find("ctxt_switches:") != std::string::npos)
            total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

TEST_F(CommunicateTest, IdleThreadsAreNotWokenUp) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine's threads are measured by bench/idle_footprint.py";
#endif
    if (!std::filesystem::exists(kTasks)) GTEST_SKIP() << "no per-thread switch counts here";
    configure("idle-key", free_udp_port());
    communicate::CommunicatorOptions options;
    options.local_port = 0;
    communicate::Communicator communicator(options);
    const std::set<std::string> before = thread_ids();
    ASSERT_EQ(1, communicator.set_callback(&PushLog::callback));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the threads settle
    std::set<std::string> started;
    for (const std::string& id : thread_ids()) {
        if (before.count(id) == 0) started.insert(id);
    }
    ASSERT_GE(started.size(), 2u) << "the receive and local threads";
    long at_start = 0;
    for (const std::string& id : started) at_start += switches_of(id);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    long at_end = 0;
    for (const std::string& id : started) at_end += switches_of(id);
    EXPECT_LE(at_end - at_start, 2) << "wakeups of " << started.size() << " idle threads in 2 s";
}

}  // namespace
