// What the tests of one request to the server share: the configuration,
// communication and user-log doubles, a fixed local clock (so a log line is
// known byte for byte), and readers of the keys written, the documents sent,
// the exchanges' hosts and the level-1 traces.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "interface/config_access.h"
#include "os/seams.h"
#include "tests/fakes/Communicate/communicate_script.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace quarn::test {

using Texts = std::vector<std::string>;
using Setting = std::pair<const char*, const char*>;  // key, value (null: not stored)

// The local time of every user-log line, then its ten blanks.
inline constexpr char kLogTime[] = "2024-03-20 10:00:00          ";

// A document's text form: the header line, then each line ended by CR LF.
inline std::string document(const Texts& lines) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

template <class Case>
std::string case_name(const testing::TestParamInfo<Case>& param_info) {
    return param_info.param.name;
}

class ExchangeTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config_.load(fake_path("QuarnAssConfigMgr.dll")));
        ASSERT_TRUE(comm_.load(fake_path("QuarnAssCommunicate.dll")));
        ASSERT_TRUE(log_.load(fake_path("QuarnAssLog.dll")));
        clock_.local = {2024, 3, 3, 20, 10, 0, 0, 0};
        clock_.instant_sleep = false;
        os::seams::install_fake_clock(&clock_);
    }
    void TearDown() override {
        os::seams::install_fake_clock(nullptr);
        cutil_xml_testing_fail_allocations(nullptr);
    }

    void store(const std::vector<Setting>& settings) const {
        for (const auto& [key, value] : settings) {
            if (value != nullptr) Call_TarnWriteConfig(key, value);
        }
    }

    // Queues the server's reply for the next exchange; a null text queues a
    // failed exchange.
    void queue(const char* reply, int result = 1) const {
        queue_reply(
            comm_, "GetUdpPacketFrom", result,
            reply == nullptr ? nullptr : cutil_xml_import(reply, "test", "queue", __LINE__));
    }

    // From here on, what the operation does is what the readers report.
    void begin() {
        writes_before_ = config_.calls_of("TarnWriteConfig").size();
        traces_.clear();
    }

    // "key|value" of each configuration write since begin().
    Texts writes() const {
        Texts out;
        const auto calls = config_.calls_of("TarnWriteConfig");
        for (std::size_t i = writes_before_; i < calls.size(); ++i)
            out.push_back(calls[i].arguments);
        return out;
    }

    Texts requests() const {
        Texts out;
        for (const SentRequest& sent : sent_requests(comm_)) out.push_back(sent.text);
        return out;
    }

    // The host of each UDP exchange (the port must be the server's).
    Texts hosts() const {
        Texts out;
        for (const auto& call : comm_.calls_of("GetUdpPacketFrom")) {
            const std::size_t bar = call.arguments.find('|');
            EXPECT_EQ("|36537|", call.arguments.substr(bar, 7));
            out.push_back(call.arguments.substr(0, bar));
        }
        return out;
    }

    // The level-1 messages of `function` (cut before the " Error=" text the
    // trace channel appends), each carrying `source`.
    Texts errors(const char* function, const char* source) {
        Texts out;
        for (const auto& record : traces_.find(function)) {
            EXPECT_EQ(source, record.source);
            if (record.level != 1) continue;
            out.push_back(record.message.substr(0, record.message.find(" Error=")));
        }
        return out;
    }

    Texts log_lines() const {
        Texts out;
        for (const auto& call : log_.calls_of("TarnLogToFile")) out.push_back(call.arguments);
        return out;
    }

    AssistantHome home_;
    FakeModule config_;
    FakeModule comm_;
    FakeModule log_;
    TraceCapture traces_;
    os::seams::FakeClock clock_;
    std::size_t writes_before_ = 0;
};

}  // namespace quarn::test
