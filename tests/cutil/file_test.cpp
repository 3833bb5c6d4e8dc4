#include "cutil/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cutil/memory_table.h"
#include "os/file.h"
#include "os/module.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/system.h"
#include "os/time.h"
#include "support/helper_process.h"
#include "tests/cutil/file_test_folder.h"

namespace {

constexpr std::uint32_t kHiddenSystem = os::kFileAttributeHidden | os::kFileAttributeSystem;

class CutilFile : public quarn::test::FileTestFolder {
  protected:
    void SetUp() override {
        FileTestFolder::SetUp();
        // Scheduled deletions are recorded in the test's own folder (POSIX).
        os::env_set("QUARN_STATE_DIR", path("state").c_str());
        ASSERT_TRUE(write_file(path("source.txt"), "new"));
    }
    void TearDown() override {
        os::env_set("QUARN_STATE_DIR", nullptr);
        FileTestFolder::TearDown();
    }

    // Names "<name>.<n>" beside `name`, n in 0..4095, as the move aside makes.
    std::vector<std::string> moved_aside(const std::string& name) const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(root_)) {
            const std::string entry_name = entry.path().filename().string();
            if (entry_name.compare(0, name.size() + 1, name + ".") != 0) continue;
            const std::string number = entry_name.substr(name.size() + 1);
            char* end = nullptr;
            const long value = std::strtol(number.c_str(), &end, 10);
            if (!number.empty() && *end == '\0' && value >= 0 && value <= 4095) {
                found.push_back(path(entry_name));
            }
        }
        return found;
    }

    // The one file moved aside for `name`: hidden, system and scheduled for
    // deletion (on POSIX in the pending list; Windows keeps it in the
    // registry, which the session manager reads at boot).
    void expect_moved_aside(const std::string& name, const std::string& content) const {
        const std::vector<std::string> aside = moved_aside(name);
        ASSERT_EQ(1u, aside.size()) << name;
        EXPECT_EQ(content, read_file(aside[0]));
        EXPECT_EQ(kHiddenSystem, os::file_attributes(aside[0].c_str()) & 0x7u);
#if !defined(_WIN32)
        const std::string list = read_file(path("state/pending_deletes"));
        EXPECT_NE(std::string::npos,
                  list.find(std::filesystem::path(aside[0]).filename().string()));
#endif
    }
};

TEST_F(CutilFile, CreateDirectoryMakesTheParentsOfAPath) {
    EXPECT_NE(0, cutil_file_CreateDirectory(path("one/two/file.txt").c_str()));
    EXPECT_TRUE(is_directory(path("one/two")));
    EXPECT_FALSE(exists(path("one/two/file.txt")));
    // Existing directories are no failure, and backslashes separate too.
    EXPECT_NE(0, cutil_file_CreateDirectory(path("one/two/file.txt").c_str()));
    EXPECT_NE(0, cutil_file_CreateDirectory((folder_ + "\\one\\three\\").c_str()));
    EXPECT_TRUE(is_directory(path("one/three")));
    // Only existing directories on the way, or nothing to create.
    EXPECT_NE(0, cutil_file_CreateDirectory(path("top.txt").c_str()));
    EXPECT_NE(0, cutil_file_CreateDirectory("file.txt"));
    // A file where a directory should be.
    EXPECT_EQ(0, cutil_file_CreateDirectory(path("source.txt/sub/").c_str()));
    EXPECT_EQ(0, cutil_file_CreateDirectory(path("source.txt/").c_str()));
}

TEST_F(CutilFile, PathsOf260CharactersOrMoreAreRefusedUntouched) {
    // 259 characters are accepted, 260 refused (not cut to another name).
    const std::string prefix = path("made/");
    const std::string fits = prefix + std::string(259 - prefix.size(), 'n');
    const std::string too_long = fits + "n";
    EXPECT_EQ(0, cutil_file_CreateDirectory((too_long + "/").c_str()));
    EXPECT_EQ(0, cutil_file_CreateDirectory(too_long.c_str()));
    EXPECT_FALSE(exists(path("made")));
    EXPECT_NE(0, cutil_file_CreateDirectory(fits.c_str()));
    EXPECT_TRUE(is_directory(path("made")));

    EXPECT_EQ(0, cutil_file_Copy(too_long.c_str(), path("source.txt").c_str()));
    EXPECT_EQ(0, cutil_file_Copy(path("copy.txt").c_str(), too_long.c_str()));
    EXPECT_FALSE(exists(path("copy.txt")));
    EXPECT_EQ(0, cutil_file_Delete(too_long.c_str()));
    char version[64];
    EXPECT_EQ(0, cutil_file_GetVersion(too_long.c_str(), version));
}

TEST_F(CutilFile, CopyCreatesDirectoriesAndReplacesReadOnlyHiddenOrSystemFiles) {
    EXPECT_EQ(1, cutil_file_Copy(path("a/b/copy.txt").c_str(), path("source.txt").c_str()));
    EXPECT_EQ("new", read_file(path("a/b/copy.txt")));
    EXPECT_EQ(0, cutil_file_Copy(path("c/copy.txt").c_str(), path("missing.txt").c_str()));
    EXPECT_FALSE(exists(path("c/copy.txt")));
    EXPECT_EQ(0, cutil_file_Copy(nullptr, path("source.txt").c_str()));
    EXPECT_EQ(0, cutil_file_Copy(path("x").c_str(), nullptr));

    const std::uint32_t cases[] = {os::kFileAttributeReadOnly, os::kFileAttributeHidden,
                                   os::kFileAttributeSystem,
                                   os::kFileAttributeReadOnly | kHiddenSystem};
    for (const std::uint32_t attributes : cases) {
        const std::string name = "dest" + std::to_string(attributes) + ".txt";
        ASSERT_TRUE(write_file(path(name), "old"));
        ASSERT_TRUE(os::file_set_attributes(path(name).c_str(), attributes));
        EXPECT_EQ(1, cutil_file_Copy(path(name).c_str(), path("source.txt").c_str())) << name;
        EXPECT_EQ("new", read_file(path(name)));
        EXPECT_EQ(0u, os::file_attributes(path(name).c_str()) & 0x7u);
        EXPECT_TRUE(moved_aside(name).empty());
    }
}

// The assistant has its own file open (reading, sharing read and delete):
// the copy meets a sharing violation, moves the old file aside and copies.
QUARN_TEST_HELPER(hold_for_reading) {
    if (argc < 2) return 2;
    os::Handle holder = os::file_open_read(argv[0], os::kFileShareRead | os::kFileShareDelete);
    if (holder == nullptr) return 3;
    os::file_close(os::file_create_write(argv[1], os::kFileShareNone));
    const std::string release = std::string(argv[1]) + ".release";
    for (int i = 0; i < 3000; ++i) {
        if (os::file_attributes(release.c_str()) != os::kInvalidFileAttributes) break;
        os::sleep_ms(10);
    }
    os::file_close(holder);
    return 0;
}

TEST_F(CutilFile, CopyOverAFileInUseMovesItAsideHiddenAndScheduled) {
    const std::string destination = path("in_use.dll");
    const std::string ready = path("ready");
    ASSERT_TRUE(write_file(destination, "old"));
    os::Handle helper =
        quarn::test::spawn_helper("hold_for_reading", {destination.c_str(), ready.c_str()});
    ASSERT_NE(nullptr, helper);
    for (int i = 0; i < 1000 && !exists(ready); ++i) os::sleep_ms(10);
    ASSERT_TRUE(exists(ready));

    EXPECT_EQ(1, cutil_file_Copy(destination.c_str(), path("source.txt").c_str()));
    EXPECT_EQ("new", read_file(destination));
    expect_moved_aside("in_use.dll", "old");
    ASSERT_TRUE(write_file(ready + ".release", ""));
    EXPECT_EQ(0, quarn::test::wait_helper(helper));
}

TEST_F(CutilFile, MoveAsideTakesTheNextNumberWhenTheNameIsTaken) {
    const std::string destination = path("busy.txt");
    ASSERT_TRUE(write_file(destination, "old"));
    // The tick count's low 12 bits are 4094: 4094, 4095 and 0 are taken by
    // earlier moves, so the file goes to "busy.txt.1".
    for (const char* taken : {".4094", ".4095", ".0"}) {
        ASSERT_TRUE(write_file(destination + taken, "earlier"));
    }
    os::Handle holder =
        os::file_open_read(destination.c_str(), os::kFileShareRead | os::kFileShareDelete);
    ASSERT_NE(nullptr, holder);
    os::seams::FakeClock clock;
    clock.tick = 0x12345FFEu;
    os::seams::install_fake_clock(&clock);
    const int copied = cutil_file_Copy(destination.c_str(), path("source.txt").c_str());
    os::seams::install_fake_clock(nullptr);
    os::file_close(holder);
    EXPECT_EQ(1, copied);
    EXPECT_EQ("old", read_file(destination + ".1"));
    EXPECT_EQ("earlier", read_file(destination + ".0"));
    EXPECT_EQ("new", read_file(destination));
}

// A file open without any sharing can be neither overwritten nor renamed;
// one open without delete sharing gives a sharing violation, not access
// denied, on delete. Both fail and leave the file where it is.
TEST_F(CutilFile, FilesHeldWithoutSharingAreLeftAlone) {
    const std::string file = path("locked.txt");
    ASSERT_TRUE(write_file(file, "old"));
    os::Handle holder = os::file_open_read(file.c_str(), os::kFileShareNone);
    ASSERT_NE(nullptr, holder);
    EXPECT_EQ(0, cutil_file_Copy(file.c_str(), path("source.txt").c_str()));
    os::file_close(holder);
    holder = os::file_open_read(file.c_str(), os::kFileShareRead);
    ASSERT_NE(nullptr, holder);
    EXPECT_EQ(0, cutil_file_Delete(file.c_str()));
    os::file_close(holder);
    EXPECT_EQ("old", read_file(file));
    EXPECT_TRUE(moved_aside("locked.txt").empty());
}

TEST_F(CutilFile, DeleteRemovesOrMovesAsideWhenAccessIsDenied) {
    EXPECT_EQ(0, cutil_file_Delete(path("missing.txt").c_str()));
    EXPECT_EQ(0, cutil_file_Delete(nullptr));
    EXPECT_EQ(1, cutil_file_Delete(path("source.txt").c_str()));
    EXPECT_FALSE(exists(path("source.txt")));
    EXPECT_TRUE(moved_aside("source.txt").empty());

    // A read-only file cannot be deleted (access denied): it goes aside.
    ASSERT_TRUE(write_file(path("readonly.txt"), "x"));
    ASSERT_TRUE(os::file_set_attributes(path("readonly.txt").c_str(), os::kFileAttributeReadOnly));
    EXPECT_EQ(1, cutil_file_Delete(path("readonly.txt").c_str()));
    EXPECT_FALSE(exists(path("readonly.txt")));
    expect_moved_aside("readonly.txt", "x");
}

TEST_F(CutilFile, GetVersionReadsFileVersionAndReleasesItsBlock) {
    cutil::memory::Monitor monitor;
    const bool monitored = monitor.create();
    char program[512] = {};
    ASSERT_GT(os::module_executable_path(program, sizeof program), 0u);
    char version[64];
    std::memset(version, '#', sizeof version);
    EXPECT_NE(0, cutil_file_GetVersion(program, version));
    EXPECT_EQ(std::string("1.0.0.1") + std::string(57, '\0'), std::string(version, sizeof version));
    EXPECT_EQ(0, cutil_file_GetVersion(path("source.txt").c_str(), version));
    EXPECT_EQ(0, cutil_file_GetVersion(path("missing.dll").c_str(), version));
    EXPECT_EQ(0, cutil_file_GetVersion(program, nullptr));

    if (!monitored) GTEST_SKIP() << "no allocation table";
    cutil::memory::Snapshot snapshot;
    ASSERT_TRUE(monitor.snapshot(&snapshot));
    for (const cutil::memory::Site& site : snapshot.sites) {
        if (site.process_id != os::process_id() || site.function != "cutil_file_GetVersion")
            continue;
        EXPECT_EQ("Cutil_File.cpp", site.source);
        EXPECT_EQ(site.registrations, site.releases);
        EXPECT_EQ(0u, site.live_bytes);
        return;
    }
    ADD_FAILURE() << "cutil_file_GetVersion registered no block";
}

}  // namespace
