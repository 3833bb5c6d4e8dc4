#include "tests/autocheck/check/repair_page_fixture.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "autocheck/check/repair_page.h"
#include "interface/config_access.h"
#include "interface/system_helpers.h"
#include "os/process.h"
#include "os/system.h"

namespace repair_test {

using namespace quarn::test;

std::string hidden(const char* name, const std::string& value) {
    return std::string("\t<INPUT TYPE=\"hidden\" NAME=\"") + name + "\" value='" + value + "'>";
}

void RepairPageTest::SetUp() {
    ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
    ASSERT_TRUE(config_store_.load(fake_path("QuarnAssConfigMgr.dll")));
    ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
    os::env_set("QUARN_FAKE_HTMLDLG_RECORD", (home_.appdata() + "/dialogs.txt").c_str());
    os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "0");
    EncodeUrlBase64("张三", -1, user_, sizeof user_);
    EncodeUrlBase64(kPassword, -1, password_, sizeof password_);
    config_ = {{"DeviceId", "7"},
               {"RoleId", "3"},
               {"PolicyId", "12"},
               {"IsDisturb", "0"},
               {"WebUrl", "http://srv:8080"},
               {"LastAuthType", "User"},
               {"IsAutoAuth", "No"},
               {"UserName", user_},
               {"Password", password_}};
    apply_config();
    traces_.clear();
}

void RepairPageTest::TearDown() {
    os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr);
    os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", nullptr);
}

XmlDocument RepairPageTest::two_entry_result() {
    XmlDocument result(cutil_xml_create("test", "two_entry_result", __LINE__));
    XmlNode* root = result.get();
    cutil_xml_add(root, nullptr, "TARN/Result");
    cutil_xml_add(root, "11", "TARN/Result[1]/ItemID");
    cutil_xml_add(root, kMessage, "TARN/Result[1]/Message");
    cutil_xml_add(root, nullptr, "TARN/Result");
    cutil_xml_add(root, "12", "TARN/Result[2]/ItemID");
    cutil_xml_add(root, "1", "TARN/Result[2]/Res");
    cutil_xml_add(root, "9", "TARN/CheckUsedSecond");
    return result;
}

void RepairPageTest::apply_config() {
    config_store_.reset();
    for (const auto& [key, value] : config_) {
        if (value != nullptr) Call_TarnWriteConfig(key.c_str(), value);
    }
}

os::Handle RepairPageTest::open_page(const XmlNode* result, int automatic, os::Handle untouched) {
    os::Handle process = untouched;
    OpenRepairPage(result, automatic, &process);
    if (process != untouched && process != nullptr) {
        EXPECT_TRUE(os::handle_wait(process, 10000));
        os::handle_close(process);
    }
    return process;
}

std::string read_file(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            bytes.append(chunk, got);
        }
        std::fclose(file);
    }
    return bytes;
}

std::string RepairPageTest::page() const {
    return read_file(home_.path("RepairPage.html"));
}

std::string RepairPageTest::dialog_record() const {
    std::string out;
    std::istringstream lines(read_file(home_.appdata() + "/dialogs.txt"));
    for (std::string line; std::getline(lines, line);) {
        // From the title on, without quotes: the command line as Windows
        // gives it and the arguments joined on POSIX then read the same.
        const std::size_t title = line.find("Title=");
        if (title != std::string::npos) line.erase(0, title);
        line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        out += line + "\n";
    }
    return out;
}

}  // namespace repair_test
