// What the guest code and tray event tests share: an assistant directory
// holding the page dialog double (it records its command line and ends at
// once), the configuration, log, tray, runtime-check and HTTP client doubles,
// with the process-wide HttpGet bound to the double's export.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "autocheck/bound_modules.h"
#include "interface/config_access.h"
#include "os/system.h"
#include "os/time.h"
#include "support/file_bytes.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace runtime_test {

using namespace quarn::test;

using quarn::test::read_file;

class RuntimeFixture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.add(fake_path("TarnHtmlDlg.exe"), "TarnHtmlDlg.exe"));
        ASSERT_TRUE(config_store_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        ASSERT_TRUE(tray_.load(fake_path("QuarnAssShowIcon.dll")));
        ASSERT_TRUE(runtime_check_.load(fake_path("QuarnAssRuntimeCheck.dll")));
        ASSERT_TRUE(http_.load(fake_path("QuarnHttpClient.dll")));
        HttpGet = reinterpret_cast<sibling::HttpGetFunction>(http_.symbol("HttpGet"));
        ASSERT_NE(nullptr, HttpGet);
        dialogs_file_ = home_.appdata() + "/dialogs.txt";
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", dialogs_file_.c_str());
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", "0");
        traces_.clear();
    }
    void TearDown() override {
        HttpGet = nullptr;
        os::env_set("QUARN_FAKE_HTMLDLG_RECORD", nullptr);
        os::env_set("QUARN_FAKE_HTMLDLG_LIFETIME_MS", nullptr);
    }

    // Stores the settings of `base` then `changes` anew: "Key=value;" sets a
    // key, "Key;" alone leaves it out.
    void configure(const std::string& base, const std::string& changes) {
        std::map<std::string, std::string> settings;
        std::istringstream in(base + ";" + changes);
        for (std::string item; std::getline(in, item, ';');) {
            const std::size_t equals = item.find('=');
            if (equals == std::string::npos) settings.erase(item);
            if (equals != std::string::npos)
                settings[item.substr(0, equals)] = item.substr(equals + 1);
        }
        config_store_.reset();
        for (const auto& [key, value] : settings) Call_TarnWriteConfig(key.c_str(), value.c_str());
    }
    // A path in the assistant directory as the agent builds it.
    std::string agent_path(const char* file_name) const {
        return home_.appdata() + "\\Quarn\\" + file_name;
    }
    std::vector<std::string> urls_asked() const {
        std::vector<std::string> urls;
        for (const auto& call : http_.calls_of("HttpGet")) urls.push_back(call.arguments);
        return urls;
    }
    // The programs started, sorted, once `expected` of them have recorded
    // themselves (they do so as they run): the page dialog as "dialog
    // <title>|<Url>|<width>x<height>|<ShowSysIcon>|<SysIconMsg>", the
    // recording double under other names as "start <file> <arguments>".
    std::vector<std::string> started(std::size_t expected) const {
        std::vector<std::string> lines;
        for (int i = 0; i < 500; ++i) {
            lines = split_lines(read_file(dialogs_file_));
            if (lines.size() >= expected) break;
            os::sleep_ms(20);
        }
        for (std::string& line : lines) line = summarise_start(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    AssistantHome home_;
    FakeModule config_store_;
    FakeModule log_;
    FakeModule tray_;
    FakeModule runtime_check_;
    FakeModule http_;
    TraceCapture traces_;
    std::string dialogs_file_;

  private:
    static std::vector<std::string> split_lines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t begin = 0;
        for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos;
             begin = end + 1) {
            lines.push_back(text.substr(begin, end - begin));
        }
        return lines;
    }
    // From "<pid>\t<title>\t<command line>": Windows quotes the command
    // line's values as given, POSIX receives them as arguments.
    static std::string field(const std::string& line, const char* name, const char* end) {
        const std::size_t start = line.find(name) + std::string(name).size();
        return line.substr(start, line.find(end, start) - start);
    }
    static std::string summarise_start(std::string line) {
        line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        if (line.find(" Url=") == std::string::npos && line.find("\tUrl=") == std::string::npos) {
            const std::size_t exe = line.find(".exe");
            const std::size_t name = line.find_last_of("/\\", exe);
            return "start " + line.substr(name == std::string::npos ? 0 : name + 1);
        }
        return "dialog " + field(line, "Title=", " Width=") + "|" + field(line, "Url=", " Icon=") +
               "|" + field(line, "Width=", " ") + "x" + field(line, "Height=", " ") + "|" +
               field(line, "ShowSysIcon=", " ") + "|" + field(line, "SysIconMsg=", "\n");
    }
};

}  // namespace runtime_test
