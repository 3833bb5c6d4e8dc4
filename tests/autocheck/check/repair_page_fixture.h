// What the repair page tests share: an assistant directory holding the page
// dialog double (it records its command line and ends at once), the
// configuration and user-log doubles, and a two-entry check result.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "autocheck/check/repair_page.h"
#include "cutil/xml.h"
#include "interface/config_access.h"
#include "interface/system_helpers.h"
#include "os/process.h"
#include "os/system.h"
#include "support/file_bytes.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace repair_test {

using namespace quarn::test;

// Every character an attribute value may not carry raw (the first item's
// message of the two-entry result holds them too, and line breaks).
inline constexpr char kPassword[] = "p'w\"&<>d";

inline std::string hidden(const char* name, const std::string& value) {
    return std::string("\t<INPUT TYPE=\"hidden\" NAME=\"") + name + "\" value='" + value + "'>";
}

using quarn::test::read_file;

class RepairPageTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        ASSERT_TRUE(config_store_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", (home_.appdata() + "/dialogs.txt").c_str());
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "0");
        EncodeUrlBase64("张三", -1, user_, sizeof user_);
        EncodeUrlBase64(kPassword, -1, password_, sizeof password_);
        apply_config();
        traces_.clear();
    }
    void TearDown() override {
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr);
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", nullptr);
    }

    // ItemIDs 11 and 12; CheckUsedSecond 9.
    static XmlDocument two_entry_result() {
        return XmlDocument(cutil_xml_import(
            "<TARN><Result><ItemID>11</ItemID><Message>第一行\r\n第二行 'q' \"d\" a&amp;b&lt;c&gt;"
            "</Message></Result><Result><ItemID>12</ItemID><Res>1</Res></Result>"
            "<CheckUsedSecond>9</CheckUsedSecond></TARN>",
            "test", "two_entry_result", __LINE__));
    }
    // Stores config_ anew; a null value leaves its key out.
    void apply_config() {
        config_store_.reset();
        for (const auto& [key, value] : config_) {
            if (value != nullptr) Call_TarnWriteConfig(key.c_str(), value);
        }
    }
    // Runs OpenRepairPage and waits for the dialog it started to end; the
    // handle it handed back, or `untouched`.
    os::Handle open_page(const XmlNode* result, int automatic, os::Handle untouched = nullptr) {
        os::Handle process = untouched;
        OpenRepairPage(result, automatic, &process);
        if (process != untouched && process != nullptr) {
            EXPECT_TRUE(os::handle_wait(process, 10000));
            os::handle_close(process);
        }
        return process;
    }
    std::string page() const { return read_file(home_.path("RepairPage.html")); }
    // Each start's command line from "Title=" on without quotes: Windows' own
    // line and the arguments joined on POSIX then read the same.
    std::string dialog_record() const {
        std::string out;
        std::istringstream lines(read_file(home_.appdata() + "/dialogs.txt"));
        for (std::string line; std::getline(lines, line);) {
            line.erase(0, std::min(line.find("Title="), line.size()));
            line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
            out += line + "\n";
        }
        return out;
    }

    AssistantHome home_;
    FakeModule config_store_;
    FakeModule log_;
    TraceCapture traces_;
    char user_[64] = "";
    char password_[64] = "";
    // A registered, authenticated endpoint's settings.
    std::map<std::string, const char*> config_ = {{"DeviceId", "7"},
                                                  {"RoleId", "3"},
                                                  {"PolicyId", "12"},
                                                  {"IsDisturb", "0"},
                                                  {"WebUrl", "http://srv:8080"},
                                                  {"LastAuthType", "User"},
                                                  {"IsAutoAuth", "No"},
                                                  {"UserName", user_},
                                                  {"Password", password_}};
};

}  // namespace repair_test
