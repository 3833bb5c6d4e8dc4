// CheckFile against files this test writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/process.h"
#include "os/system.h"
#include "tests/plugins/plugin_call.h"

namespace {

using namespace quarn::test;
namespace fs = std::filesystem;

const PluginRow kRows[] = {
    {"Exists", "<FilePath>{dir}probe.txt</FilePath>", "Yes", "存在"},
    {"ExistsMustNot", "<FilePath>{dir}probe.txt</FilePath><Exist>No</Exist>", "No", "要求不存在"},
    {"Missing", "<FilePath>{dir}absent.txt</FilePath><Exist>Yes</Exist>", "No", "不存在"},
    {"MissingMustNot", "<FilePath>{dir}absent.txt</FilePath><Exist>no</Exist>", "Yes", "不存在"},
    {"FolderMissingMustNot", "<FilePath>{dir}nowhere\\absent.txt</FilePath><Exist>No</Exist>",
     "Yes", "不存在"},
    {"FolderExists", "<FilePath>{dir}</FilePath>", "Yes", "存在"},
    {"Holds", "<FilePath>{dir}probe.txt</FilePath><Contains>甲乙 beta</Contains>", "Yes", "含有"},
    {"LacksText", "<FilePath>{dir}probe.txt</FilePath><Contains>gamma</Contains>", "No", "不含"},
    {"TextIsCaseSensitive", "<FilePath>{dir}probe.txt</FilePath><Contains>ALPHA</Contains>", "No",
     "不含"},
    {"HoldsAcrossChunks", "<FilePath>{dir}large.txt</FilePath><Contains>NEEDLE</Contains>", "Yes",
     "含有"},
    {"HoldsAtTheEnd", "<FilePath>{dir}large.txt</FilePath><Contains>THE END</Contains>", "Yes",
     "含有"},
    {"FolderCannotHold", "<FilePath>{dir}</FilePath><Contains>a</Contains>", "No", "是文件夹"},
    {"EnvironmentExpanded", "<FilePath>%QUARN_PLUGIN_DIR%probe.txt</FilePath>", "Yes", "存在"},
    {"PathMissing", "<Exist>Yes</Exist>", "No", "缺少选项 FilePath"},
    {"ExistNotAFlag", "<FilePath>{dir}probe.txt</FilePath><Exist>1</Exist>", "No", "Exist 的值 1"},
    {"HoldsButMustNotExist",
     "<FilePath>{dir}probe.txt</FilePath><Exist>No</Exist><Contains>a</Contains>", "No",
     "选项 Contains"},
    {"ContainsEmpty", "<FilePath>{dir}probe.txt</FilePath><Contains/>", "No",
     "选项 Contains 没有值"},
};

// Things that are not files: refused at once, never waited on or read
// without end.
const PluginRow kNotFiles[] = {
#ifdef _WIN32
    {"Console", "<FilePath>CON</FilePath><Contains>a</Contains>", "No", "不是普通文件"},
    {"ConsoleInFolder", "<FilePath>{dir}con.txt</FilePath><Contains>a</Contains>", "No",
     "不是普通文件"},
    // No server holds this one: refused before any open all the same.
    {"NamedPipe", "<FilePath>\\\\.\\pipe\\quarn-test</FilePath><Contains>a</Contains>", "No",
     "quarn-test"},
    {"NullDevice", "<FilePath>{dir}NUL</FilePath><Contains>a</Contains>", "No", "不是普通文件"},
#else
    {"CharacterDevice", "<FilePath>/dev/zero</FilePath><Contains>a</Contains>", "No",
     "不是普通文件"},
    {"Fifo", "<FilePath>{dir}fifo</FilePath><Contains>a</Contains>", "No", "不是普通文件"},
#endif
};

class CheckFile : public testing::TestWithParam<PluginRow> {
  protected:
    static void SetUpTestSuite() {
        dir_ =
            (fs::temp_directory_path() / ("quarn-plugin-files-" + std::to_string(os::process_id())))
                .string() +
            static_cast<char>(fs::path::preferred_separator);
        fs::create_directories(dir_);
        std::ofstream(dir_ + "probe.txt", std::ios::binary) << "alpha 甲乙 beta\r\n";
        // "NEEDLE" spans the reader's 64 KiB chunks; "THE END" ends the file.
        std::ofstream(dir_ + "large.txt", std::ios::binary)
            << std::string(65533, 'x') << "NEEDLE" << std::string(70000, 'y') << "THE END";
        os::env_set("QUARN_PLUGIN_DIR", dir_.c_str());
#ifndef _WIN32
        ASSERT_EQ(0, std::system(("mkfifo " + dir_ + "fifo").c_str()));
#endif
    }
    static void TearDownTestSuite() {
        os::env_set("QUARN_PLUGIN_DIR", nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    static std::string dir_;
};

std::string CheckFile::dir_;

TEST_P(CheckFile, JudgesTheFile) {
    const PluginRow& row = GetParam();
    const std::string options = filled(row.options, {{"dir", dir_}});
    const PluginReply reply =
        call_plugin("QuarnCheckFile.dll", "CheckFile",
                    check_type("QuarnCheckFile.dll", "CheckFile", options).c_str());
    EXPECT_PLUGIN_REPLY(row, reply);
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckFile, testing::ValuesIn(kRows), row_name);
INSTANTIATE_TEST_SUITE_P(NotFiles, CheckFile, testing::ValuesIn(kNotFiles), row_name);

}  // namespace
