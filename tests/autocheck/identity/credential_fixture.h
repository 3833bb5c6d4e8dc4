// The authentication requests against the doubles of the configuration
// store, the user log and the HTTP client (bound as Init binds it); what a
// test reads back is the store, the log lines, the requests and the traces.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autocheck/bound_modules.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "support/gbk.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace quarn::test {

// Plain names whose Base64 holds "/", "+" and "=" ("Pz8/fn5+Pw==").
constexpr char kPlainUser[] = "???~~~?";
constexpr char kUrlSafeUser[] = "Pz8.fn5,Pw::";
constexpr char kAccepted[] = "<p>RoleID='3' PolicyID='12'</p>";
constexpr char kWebUrl[] = "http://srv:8080";

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

    // A registered device with its server, an earlier role and policy, and
    // stored credentials; `left_out` is not configured.
    void configure(const char* left_out = nullptr) {
        config_.reset();
        const char* const settings[][2] = {
            {"DeviceId", "12"},  {"WebUrl", kWebUrl},        {"RoleId", "old"},
            {"PolicyId", "old"}, {"UserName", kUrlSafeUser}, {"Password", "cGFzcw::"},
        };
        for (const auto& setting : settings) {
            if (left_out == nullptr || std::string(left_out) != setting[0]) {
                Call_TarnWriteConfig(setting[0], setting[1]);
            }
        }
        writes_before_ = config_.calls().size();
        log_.reset();
        http_.reset();
        traces_.clear();
    }

    std::string stored(const char* key) const {
        char value[260] = "(none)";
        ReadConfigText(key, value, sizeof value);
        return value;
    }
    // Every value written to `key`, in order, joined by ",".
    std::string writes(const char* key) const {
        std::string joined;
        const std::string prefix = std::string(key) + "|";
        const auto calls = config_.calls();
        for (std::size_t i = writes_before_; i < calls.size(); ++i) {
            const RecordedCall& call = calls[i];
            if (call.name != "TarnWriteConfig" || call.arguments.rfind(prefix, 0) != 0) continue;
            joined += (joined.empty() ? "" : ",") + call.arguments.substr(prefix.size());
        }
        return joined;
    }
    // The user log without its time stamps.
    std::vector<std::string> user_log() const {
        std::vector<std::string> lines;
        for (const auto& call : log_.calls_of("TarnLogToFile")) {
            lines.push_back(call.arguments.substr(29, call.arguments.size() - 30));
        }
        return lines;
    }
    std::vector<std::string> requests(const char* export_name) const {
        std::vector<std::string> sent;
        for (const auto& call : http_.calls_of(export_name)) sent.push_back(call.arguments);
        return sent;
    }
    // The messages traced by `function` at `level` (without the " Error="
    // suffix of the system's last error), joined by "|".
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
