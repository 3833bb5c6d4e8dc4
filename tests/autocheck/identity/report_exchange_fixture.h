// One request to the server against the configuration, communication and
// user-log doubles, on a fixed local clock so that a log line is known byte
// for byte; what a test reads back is the keys written since begin(), the
// documents sent, the log lines and the level-1 traces.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "interface/config_access.h"
#include "os/seams.h"
#include "tests/fakes/Communicate/communicate_script.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/trace_capture.h"

namespace quarn::test {

using Texts = std::vector<std::string>;

inline constexpr char kLogTime[] = "2024-03-20 10:00:00          ";  // and ten blanks

// A document's text form: the header line, then each line ended by CR LF.
inline std::string document(const Texts& lines) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// Test names from the cases' `name` fields.
template <class Case>
std::string case_name(const testing::TestParamInfo<Case>& row) {
    return row.param.name;
}

class ExchangeTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        clock_.local = {2024, 3, 3, 20, 10, 0, 0, 0};
        os::seams::install_fake_clock(&clock_);
    }
    void TearDown() override {
        os::seams::install_fake_clock(nullptr);
        cutil_xml_testing_fail_allocations(nullptr);
    }

    // The server's reply to the next exchange; null: the exchange fails.
    void queue(const char* reply) const {
        queue_reply(
            comm_, "GetUdpPacketFrom", reply != nullptr,
            reply != nullptr ? cutil_xml_import(reply, "test", "queue", __LINE__) : nullptr);
    }
    void begin() {
        writes_before_ = config_.calls_of("TarnWriteConfig").size();
        traces_.clear();
    }

    // The arguments of each call of `name` (from the `from`th on).
    static Texts calls(const FakeModule& module, const char* name, std::size_t from = 0) {
        Texts out;
        for (const auto& call : module.calls_of(name)) out.push_back(call.arguments);
        return Texts(out.begin() + static_cast<long>(std::min(from, out.size())), out.end());
    }
    Texts writes() const { return calls(config_, "TarnWriteConfig", writes_before_); }  // key|value
    Texts log_lines() const { return calls(log_, "TarnLogToFile"); }
    // Each document sent, all of them to 10.1.2.3 on the server's port.
    Texts requests() const {
        for (const std::string& call : calls(comm_, "GetUdpPacketFrom"))
            EXPECT_EQ(0u, call.find("10.1.2.3|36537|"));
        Texts out;
        for (const SentRequest& sent : sent_requests(comm_)) out.push_back(sent.text);
        return out;
    }
    // Level-1 messages of `function`, cut before the channel's " Error=".
    Texts errors(const char* function, const char* source) {
        Texts out;
        for (const auto& record : traces_.find(function)) {
            EXPECT_EQ(source, record.source);
            if (record.level == 1)
                out.push_back(record.message.substr(0, record.message.find(" Error=")));
        }
        return out;
    }

    AssistantHome home_;
    FakeModule config_, comm_, log_;
    TraceCapture traces_;
    os::seams::FakeClock clock_;
    std::size_t writes_before_ = 0;
};

}  // namespace quarn::test
