// Writers in several processes at once, and a writer killed mid-loop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "os/process.h"
#include "siblings/QuarnAssConfigMgr/config_store.h"
#include "support/file_bytes.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/siblings/config_store/real_modules.h"

namespace {

using config_store::ConfigStore;
using quarn::test::AssistantHome;

constexpr int kWrites = 10000;
constexpr int kKeysPerWriter = 100;

std::string key_of(const char* writer, int i) {
    return std::string("w") + writer + "-" + std::to_string(i % kKeysPerWriter);
}

// argv[0]: the writer's name. Each key ends holding the last i written to it.
QUARN_TEST_HELPER(store_writer) {
    if (argc < 1) return 2;
    const auto& store = quarn::test::real_store();
    if (store.write == nullptr) return 3;
    for (int i = 0; i < kWrites; ++i) {
        const std::string value = std::to_string(i);
        if (store.write(key_of(argv[0], i).c_str(), value.c_str()) != 1) return 4;
    }
    return 0;
}

// argv[0]: a file that gets one line "<i>" after each write that returned.
QUARN_TEST_HELPER(endless_writer) {
    if (argc < 1) return 2;
    const auto& store = quarn::test::real_store();
    std::FILE* progress = std::fopen(argv[0], "ab");
    if (store.write == nullptr || progress == nullptr) return 3;
    for (int i = 0;; ++i) {
        const std::string key = "k" + std::to_string(i);
        const std::string value = "v" + std::to_string(i) + std::string(i % 97, 'p');
        if (store.write(key.c_str(), value.c_str()) != 1) return 4;
        std::fprintf(progress, "%d\n", i);
        std::fflush(progress);
    }
}

int last_recorded(const std::string& progress) {
    std::ifstream in(progress);
    int last = -1;
    for (int i; in >> i;) last = i;
    return last;
}

TEST(StoreWriters, TwoProcessesLoseNothing) {
    AssistantHome home;
    os::Handle a = quarn::test::spawn_helper("store_writer", {"A"});
    os::Handle b = quarn::test::spawn_helper("store_writer", {"B"});
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0, quarn::test::wait_helper(a, 600000));
    EXPECT_EQ(0, quarn::test::wait_helper(b, 600000));

    config_store::Values all;
    ASSERT_TRUE(ConfigStore(home.dir()).snapshot(&all));
    EXPECT_EQ(2u * kKeysPerWriter, all.size());
    for (const char* writer : {"A", "B"}) {
        for (int i = kWrites - kKeysPerWriter; i < kWrites; ++i) {
            EXPECT_EQ(std::to_string(i), all[key_of(writer, i)]) << key_of(writer, i);
        }
    }
}

TEST(StoreWriters, KilledWriterLeavesEveryReturnedWrite) {
    AssistantHome home;
    const std::string progress = home.path("progress.txt");
    os::Handle writer = quarn::test::spawn_helper("endless_writer", {progress.c_str()});
    ASSERT_NE(nullptr, writer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (last_recorded(progress) < 300 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    os::process_terminate(writer, 9);
    os::handle_wait(writer, 30000);
    os::handle_close(writer);
    const int last = last_recorded(progress);
    ASSERT_GE(last, 300);

    ConfigStore store(home.dir());
    ASSERT_TRUE(store.prepare());
    EXPECT_TRUE(quarn::test::read_file(home.path(config_store::kStoreFileName) +
                                       config_store::kDamagedSuffix)
                    .empty());
    for (int i = 0; i <= last; ++i) {
        std::string value;
        ASSERT_TRUE(store.read("k" + std::to_string(i), &value)) << i;
        EXPECT_EQ("v" + std::to_string(i) + std::string(i % 97, 'p'), value);
    }
}

}  // namespace
