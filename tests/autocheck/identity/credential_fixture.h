// The authentication requests against the doubles of the configuration
// store, the user log and the HTTP client (bound as Init binds it).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "autocheck/bound_modules.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace quarn::test {

// A plain name whose Base64 holds "/", "+" and "=" ("Pz8/fn5+Pw==").
constexpr char kPlainUser[] = "???~~~?";
constexpr char kAccepted[] = "RoleID='5' PolicyID='8'";

// A trace message without the " Error=" suffix of the system's last error.
inline std::string without_error(const std::string& message) {
    return message.substr(0, message.find(" Error="));
}

class CredentialFixture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        ASSERT_TRUE(http_.load(fake_path("QuarnHttpClient.dll")));
        HttpGet = reinterpret_cast<sibling::HttpGetFunction>(http_.symbol("HttpGet"));
        HttpPost = reinterpret_cast<sibling::HttpPostFunction>(http_.symbol("HttpPost"));
        configure();
    }
    void TearDown() override {
        HttpGet = nullptr;
        HttpPost = nullptr;
        GetAllUsbKeyCert = nullptr;
    }

    // A registered device, its server, an earlier role and policy and stored
    // credentials (URL-safe form); `left_out` is not configured.
    void configure(const std::string& left_out = "") {
        config_.reset();
        const char* const settings[][2] = {
            {"DeviceId", "12"},  {"WebUrl", "http://srv:8080"}, {"RoleId", "old"},
            {"PolicyId", "old"}, {"UserName", "Pz8.fn5,Pw::"},  {"Password", "cGFzcw::"}};
        for (const auto& setting : settings) {
            if (left_out != setting[0]) Call_TarnWriteConfig(setting[0], setting[1]);
        }
        writes_before_ = config_.calls().size();
        log_.reset();
        http_.reset();
        traces_.clear();
    }

    // The values written to `key` since configure(), joined by ",".
    std::string writes(const char* key) const {
        std::string joined;
        const std::string prefix = std::string(key) + "|";
        const auto calls = config_.calls();
        for (std::size_t i = writes_before_; i < calls.size(); ++i) {
            if (calls[i].name != "TarnWriteConfig" || calls[i].arguments.rfind(prefix, 0) != 0) {
                continue;
            }
            joined += (joined.empty() ? "" : ",") + calls[i].arguments.substr(prefix.size());
        }
        return joined;
    }
    std::string stored(const char* key) const {
        char value[260] = "(none)";
        ReadConfigText(key, value, sizeof value);
        return value;
    }
    // Each call's argument (or user-log line without its time stamp) + "\n".
    std::string sent(const char* export_name) const {
        std::string lines;
        for (const auto& call : http_.calls_of(export_name)) lines += call.arguments + "\n";
        return lines;
    }
    std::string user_log() const {
        std::string lines;
        for (const auto& call : log_.calls_of("TarnLogToFile")) lines += call.arguments.substr(29);
        return lines;
    }
    // The messages `function` traced at `level`, joined by "|".
    std::string traced(const char* function, int level = kTraceError) {
        std::string joined;
        for (const auto& record : traces_.find(function)) {
            if (static_cast<int>(record.level) != level) continue;
            joined += (joined.empty() ? "" : "|") + without_error(record.message);
        }
        return joined;
    }

    FakeModule config_, log_, http_;
    std::size_t writes_before_ = 0;
    TraceCapture traces_;
};

}  // namespace quarn::test
