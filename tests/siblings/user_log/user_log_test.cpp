// The user log: whole lines from several processes, rotation at the cap.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "interface/sibling_abi.h"
#include "os/module.h"
#include "siblings/QuarnAssLog/user_log_file.h"
#include "support/file_bytes.h"
#include "support/helper_process.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"

namespace {

using quarn::test::AssistantHome;
using user_log::UserLogFile;

constexpr int kLinesPerWriter = 5000;
// Long enough that the two writers' 10,000 lines pass the 1 MiB cap.
const std::string kPadding(150, '.');

sibling::TarnLogToFileFunction real_log() {
    static const auto log = [] {
        os::Handle module =
            os::module_load((quarn::test::program_dir() + sibling::kLogDll).c_str());
        return reinterpret_cast<sibling::TarnLogToFileFunction>(
            module == nullptr ? nullptr : os::module_symbol(module, sibling::kTarnLogToFileName));
    }();
    return log;
}

// Every line of the current file and the rotated ones, oldest first.
std::vector<std::string> all_lines(const std::string& path) {
    std::string text;
    for (int n = user_log::kKeptFiles; n >= 1; --n) {
        text += quarn::test::read_file(user_log::rotated_path(path, n));
    }
    text += quarn::test::read_file(path);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

QUARN_TEST_HELPER(log_writer) {
    if (argc < 1 || real_log() == nullptr) return 2;
    for (int i = 0; i < kLinesPerWriter; ++i) {
        const std::string line =
            std::string(argv[0]) + " " + std::to_string(i) + " " + kPadding + "\n";
        if (real_log()(line.c_str()) != 1) return 3;
    }
    return 0;
}

TEST(UserLog, TwoProcessesGiveWholeLines) {
    AssistantHome home;
    os::Handle a = quarn::test::spawn_helper("log_writer", {"A"});
    os::Handle b = quarn::test::spawn_helper("log_writer", {"B"});
    EXPECT_EQ(0, quarn::test::wait_helper(a, 300000));
    EXPECT_EQ(0, quarn::test::wait_helper(b, 300000));

    const std::vector<std::string> lines = all_lines(home.path(user_log::kLogFileName));
    ASSERT_EQ(2u * kLinesPerWriter, lines.size());
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        std::istringstream fields(line);
        std::string writer, index, padding;
        fields >> writer >> index >> padding;
        EXPECT_TRUE((writer == "A" || writer == "B") && padding == kPadding && fields.eof())
            << line;
        EXPECT_TRUE(seen.insert(writer + index).second) << line;
    }
    EXPECT_FALSE(
        quarn::test::read_file(user_log::rotated_path(home.path(user_log::kLogFileName), 1))
            .empty());
}

// Lines of 100 bytes into files capped at 1,000: ten a file, the newest
// forty kept in order, no file over the cap.
TEST(UserLog, RotatesAtTheCapAndDropsTheOldest) {
    AssistantHome home;
    UserLogFile log(home.dir(), 1000);
    for (int i = 0; i < 95; ++i) {
        std::string line = std::to_string(1000 + i);
        line += std::string(99 - line.size(), '-');  // the log adds the "\n"
        ASSERT_TRUE(log.append(line.data(), line.size()));
    }
    const std::string path = home.path(user_log::kLogFileName);
    for (int n = 1; n <= user_log::kKeptFiles; ++n) {
        EXPECT_EQ(1000u, quarn::test::read_file(user_log::rotated_path(path, n)).size()) << n;
    }
    EXPECT_EQ(500u, quarn::test::read_file(path).size());
    EXPECT_TRUE(quarn::test::read_file(user_log::rotated_path(path, 4)).empty());
    const std::vector<std::string> lines = all_lines(path);
    ASSERT_EQ(35u, lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(std::to_string(1060 + i), lines[i].substr(0, 4));
    }
}

// Server text with line breaks stays on the line of the call that wrote it;
// a line's own ending ("\n" or "\r\n") is not doubled.
TEST(UserLog, LineBreaksInsideALineNeverStartAnother) {
    AssistantHome home;
    UserLogFile log(home.dir(), 1 << 20);
    const std::string lines[] = {
        "2026-01-02 03:04:05          agent 12\r\n2020-01-01 00:00:00          forged",
        "second\nthird\r\n",
        "fourth\n",
    };
    for (const std::string& line : lines) ASSERT_TRUE(log.append(line.data(), line.size()));
    EXPECT_EQ(
        "2026-01-02 03:04:05          agent 12  2020-01-01 00:00:00          forged\n"
        "second third\nfourth\n",
        quarn::test::read_file(home.path(user_log::kLogFileName)));
}

#ifndef _WIN32
// A fresh account has no ~/.local/share yet: the log makes its folder and the
// missing ones above it.
TEST(UserLog, MakesTheMissingFoldersAboveItsOwn) {
    AssistantHome home;
    const std::string folder = home.dir() + "fresh/.local/share/Quarn/";
    UserLogFile log(folder, 1 << 20);
    ASSERT_TRUE(log.append("line", 4));
    EXPECT_EQ("line\n", quarn::test::read_file(folder + user_log::kLogFileName));
}
#endif

}  // namespace
