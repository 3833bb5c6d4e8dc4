// A file's stamp tells a file examined earlier from one that may hold other
// bytes now: the verified-module memory of the module-call component trusts it.
#include "os/file_stamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/cutil/file_test_folder.h"

namespace {

using OsFileStamp = quarn::test::FileTestFolder;
namespace fs = std::filesystem;

os::FileStamp stamp_of(const std::string& file) {
    os::FileStamp stamp;
    EXPECT_TRUE(os::file_stamp(file.c_str(), &stamp)) << file;
    return stamp;
}

TEST_F(OsFileStamp, ChangesWithTheBytesEvenWhenSizeAndWriteTimeAreKept) {
    const std::string file = path("module.dll");
    ASSERT_TRUE(write_file(file, "MZ first bytes"));
    const os::FileStamp first = stamp_of(file);
    EXPECT_EQ(14u, first.size);
    EXPECT_EQ(first, stamp_of(file));  // looked at again, unchanged

    // The change time moves with a clock tick: a rewrite must come after one.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const fs::file_time_type written = fs::last_write_time(file);
    ASSERT_TRUE(write_file(file, "MZ other bytes"));
    fs::last_write_time(file, written);
    const os::FileStamp rewritten = stamp_of(file);
    EXPECT_EQ(first.size, rewritten.size);
    EXPECT_NE(first, rewritten);

    // Another file moved over it: another file number.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::string other = path("other.dll");
    ASSERT_TRUE(write_file(other, "MZ other bytes"));
    fs::last_write_time(other, written);
    const os::FileStamp before_move = stamp_of(file);
    fs::rename(other, file);
    EXPECT_NE(before_move, stamp_of(file));
}

TEST_F(OsFileStamp, NoStampForWhatIsNoFile) {
    os::FileStamp stamp;
    EXPECT_FALSE(os::file_stamp(path("missing.dll").c_str(), &stamp));
    EXPECT_FALSE(os::file_stamp(folder_.c_str(), &stamp));
}

}  // namespace
