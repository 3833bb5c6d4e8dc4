// The assistant directory from APPDATA.
#include "interface/assistant_dir.h"

#include <gtest/gtest.h>

#include <string>

#include "os/system.h"

namespace {

class AssistantDir : public testing::Test {
  protected:
    void SetUp() override { had_ = os::env_get("APPDATA", saved_, sizeof saved_) > 0; }
    void TearDown() override { os::env_set("APPDATA", had_ ? saved_ : nullptr); }

    std::string dir_for(const char* appdata) {
        os::env_set("APPDATA", appdata);
        char directory[kPathSize];
        std::fill(directory, directory + sizeof directory, '#');
        EXPECT_EQ(1, GetAssistantDir(directory));
        return directory;
    }

    char saved_[1024] = "";
    bool had_ = false;
};

TEST_F(AssistantDir, QuarnFolderEndsInABackslashWhateverAppdataEndsIn) {
    EXPECT_EQ("D:\\Users\\a\\AppData\\Roaming\\Quarn\\",
              dir_for("D:\\Users\\a\\AppData\\Roaming\\"));
    EXPECT_EQ("D:\\Users\\a\\AppData\\Roaming\\Quarn\\", dir_for("D:\\Users\\a\\AppData\\Roaming"));
}

TEST_F(AssistantDir, UnsetAppdataMeansDriveC) {
    EXPECT_EQ("C:\\Quarn\\", dir_for(nullptr));
}

TEST_F(AssistantDir, AppdataTooLongForAPathCountsAsUnset) {
    const std::string long_value = "D:\\" + std::string(300, 'a');
    EXPECT_EQ("C:\\Quarn\\", dir_for(long_value.c_str()));
}

TEST_F(AssistantDir, ResultIsCutToThePathBuffer) {
    const std::string value = "D:\\" + std::string(250, 'b');  // 253 characters fit
    const std::string dir = dir_for(value.c_str());
    EXPECT_EQ(kPathSize - 1, dir.size());
    EXPECT_EQ(value + "\\Quarn", dir);
}

TEST_F(AssistantDir, NullBufferFails) {
    EXPECT_EQ(0, GetAssistantDir(nullptr));
}

}  // namespace
