// Profile writes: each row starts from a file (or none), applies writes and
// compares the bytes. The rows hold what the system's own profile API writes
// (the same suite under Wine runs them against it), so the POSIX writer is
// held to the system's format. An existing key keeps its spelling.
#include "os/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cutil/file_test_folder.h"

namespace {

struct Write {
    const char* section;
    const char* key;    // null: the whole section goes
    const char* value;  // null: the key goes
    bool refused = false;
};

struct ProfileCase {
    const char* name;
    const char* before;  // null: no file yet
    std::vector<Write> writes;
    const char* after;  // null: still no file
};

const ProfileCase kCases[] = {
    {"NewFile",
     nullptr,
     {{"Config", "WebUrl", "http://srv"}, {"Config", "DeviceId", "12"}},
     "[Config]\r\nWebUrl=http://srv\r\nDeviceId=12\r\n"},
    {"ReplacesInPlaceWithoutRegardToCase",
     "[config]\r\nweburl=old\r\nDeviceId=3\r\n",
     {{"Config", "WebUrl", "new"}},
     "[config]\r\nweburl=new\r\nDeviceId=3\r\n"},
    {"KeepsOtherSectionsAndLines",
     "; note\r\n[A]\r\nx=1\r\n[Config]\r\ny=2\r\n[B]\r\nz=3\r\n",
     {{"Config", "WebUrl", "u"}, {"C", "k", "v"}},
     "; note\r\n[A]\r\nx=1\r\n[Config]\r\ny=2\r\nWebUrl=u\r\n[B]\r\nz=3\r\n[C]\r\nk=v\r\n"},
    {"NullValueRemovesTheKey",
     "[Config]\r\nWebUrl=u\r\nDeviceId=12\r\n",
     {{"Config", "WebUrl", nullptr}, {"Config", "Missing", nullptr}},
     "[Config]\r\nDeviceId=12\r\n"},
    {"NullKeyRemovesTheSection",
     "[A]\r\nx=1\r\n[Config]\r\ny=2\r\n[B]\r\nz=3\r\n",
     {{"Config", nullptr, nullptr}},
     "[A]\r\nx=1\r\n[B]\r\nz=3\r\n"},
    {"RemovingFromNoFileCreatesNone", nullptr, {{"Config", "WebUrl", nullptr}}, nullptr},
    {"ReadsLfLinesAndBlanksAroundNames",
     "[Config]\nWebUrl = old\n",
     {{"Config", "WebUrl", "new"}},
     "[Config]\r\nWebUrl=new\r\n"},
    {"EmptyValueIsAValue", nullptr, {{"Config", "DeviceId", ""}}, "[Config]\r\nDeviceId=\r\n"},
    // A line break would write a key of its own: nothing is written.
    {"LineBreakInAnyTextIsRefused",
     "[Config]\r\nDeviceId=12\r\n",
     {{"Config", "WebUrl", "http://srv\r\nCryptKey=00", true},
      {"Config", "DeviceId", "13\nIsForbid=0", true},
      {"Config", "A\rB", "1", true},
      {"Con\nfig", "A", "1", true}},
     "[Config]\r\nDeviceId=12\r\n"},
};

class ProfileWrite : public quarn::test::FileTestFolder,
                     public testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileWrite, LeavesTheFileAsTheSystemWould) {
    const ProfileCase& c = GetParam();
    const std::string file = path("settings.inf");
    if (c.before != nullptr) {
        ASSERT_TRUE(write_file(file, c.before));
    }
    for (const Write& w : c.writes) {
        EXPECT_EQ(!w.refused, os::profile_write_string(file.c_str(), w.section, w.key, w.value));
    }
    EXPECT_EQ(c.after != nullptr ? c.after : "<missing>", read_file(file));
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileWrite, testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
