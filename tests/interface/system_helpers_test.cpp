// Time texts, URL splitting, the URL-safe Base64 form, the TTL marker and
// the version test.
#include "interface/system_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/event.h"
#include "os/seams.h"
#include "support/gbk.h"
#include "tests/fakes/trace_capture.h"

namespace {

class FakeClockTest : public testing::Test {
  protected:
    void SetUp() override { os::seams::install_fake_clock(&clock_); }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }
    void now(int year, int month, int day, int hour, int minute) {
        clock_.local = {year, month, 0, day, hour, minute, 30, 0};
    }
    os::seams::FakeClock clock_;
};

using TimeText = FakeClockTest;

TEST_F(TimeText, LocalTimeIsNineteenCharacters) {
    now(2026, 3, 4, 5, 6);
    char text[20];
    EXPECT_EQ(19, GetLocalTimeText(text));
    EXPECT_STREQ("2026-03-04 05:06:30", text);
    EXPECT_EQ(0, GetLocalTimeText(nullptr));
}

struct DaysCase {
    const char* since;
    int year, month, day, hour, minute;  // now
    int days, hours, minutes;
};

TEST_F(TimeText, DaysSinceCountThirtyDayMonthsAndDay31AsThirty) {
    const DaysCase cases[] = {
        {"2012-01-31 10:00:00", 2012, 2, 1, 10, 0, 1, 0, 0},
        {"2012-01-01 10:00:00", 2012, 1, 31, 9, 30, 29, -1, 30},
        {"2011-12-15 23:59:00", 2012, 1, 15, 0, 1, 30, -23, -58},
        {"2012-03-01 08:00:00", 2012, 2, 29, 8, 0, -2, 0, 0},  // a time in the future
        {"2012-01-31", 2012, 1, 31, 6, 7, 0, 6, 7},            // no time of day: midnight
    };
    for (const DaysCase& c : cases) {
        SCOPED_TRACE(c.since);
        now(c.year, c.month, c.day, c.hour, c.minute);
        int hours = 99, minutes = 99;
        EXPECT_EQ(c.days, DaysSinceTime(c.since, &hours, &minutes));
        EXPECT_EQ(c.hours, hours);
        EXPECT_EQ(c.minutes, minutes);
        EXPECT_EQ(c.days, DaysSinceTime(c.since, nullptr, nullptr));
    }
}

TEST_F(TimeText, MalformedTimeGivesZeroAndLeavesTheOutputs) {
    now(2012, 2, 1, 10, 0);
    for (const char* text :
         {"2012/01/31 10:00:00", "12-01-31", "2012-1-31 10:00", "", "2012-01-3"}) {
        SCOPED_TRACE(text);
        int hours = 99, minutes = 98;
        EXPECT_EQ(0, DaysSinceTime(text, &hours, &minutes));
        EXPECT_EQ(99, hours);
        EXPECT_EQ(98, minutes);
    }
    EXPECT_EQ(0, DaysSinceTime(nullptr, nullptr, nullptr));
}

struct UrlCase {
    const char* url;
    const char* host;
    int port;
};

TEST(SplitUrl, HostAndPortOfEveryShape) {
    const UrlCase cases[] = {
        {"http://10.0.0.1:8080/x", "10.0.0.1", 8080},
        {"https://srv/x", "srv", 443},
        {"HTTPS://srv", "srv", 443},
        {"srv:81", "srv", 81},
        {"http://srv", "srv", 80},
        {"ftp://srv/a:b", "srv", 80},
        {"srv/path", "srv", 80},
        {"http://srv:/x", "srv", 0},
        {"http:/", "", 80},  // cut short: no host, nothing read past the end
        {"", "", 80},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(c.url);
        char host[64] = "old";
        int port = -1;
        SplitUrlHostPort(c.url, &port, host, sizeof host);
        EXPECT_STREQ(c.host, host);
        EXPECT_EQ(c.port, port);
    }
}

TEST(SplitUrl, HostThatDoesNotFitIsLeftEmptyNotCut) {
    const std::string url = "http://" + std::string(64, 'h') + ":90/";
    char host[64] = "old";
    int port = 0;
    SplitUrlHostPort(url.c_str(), &port, host, sizeof host);
    EXPECT_STREQ("", host);
    EXPECT_EQ(90, port);
    SplitUrlHostPort("http://a:1/", nullptr, nullptr, 0);  // outputs are optional
}

TEST(UrlBase64, PlusSlashAndPaddingAreWrittenUrlSafeAndDecodeBack) {
    struct Case {
        std::string input;
        const char* encoded;
    };
    const Case cases[] = {
        {"abc", "YWJj"},      {"ab", "YWI:"},
        {"a", "YQ::"},        {std::string("\xfb\xff\xbf\xfb\xff\xbf", 6), ",.,.,.,."},
        {"张三", "1cXI.Q::"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoded);
        char out[64];
        const int length =
            EncodeUrlBase64(c.input.data(), static_cast<int>(c.input.size()), out, sizeof out);
        EXPECT_STREQ(c.encoded, out);
        EXPECT_EQ(static_cast<int>(std::strlen(c.encoded)), length);

        char back[64];
        const int decoded = DecodeUrlBase64(out, length, back, sizeof back);
        // Padding decodes as counted zero bytes; the text ends at the terminator.
        EXPECT_EQ(static_cast<int>((std::strlen(c.encoded) / 4) * 3), decoded);
        EXPECT_EQ(c.input, std::string(back, c.input.size()));
        EXPECT_EQ('\0', back[c.input.size()]);
    }
    char out[16];
    EXPECT_EQ(4, EncodeUrlBase64("abc", -1, out, sizeof out));
    EXPECT_EQ(0, EncodeUrlBase64(nullptr, 3, out, sizeof out));
    EXPECT_EQ(0, DecodeUrlBase64(nullptr, 3, out, sizeof out));
}

TEST(UrlBase64, DecodingInPlace) {
    char text[32] = "5byg5LiJ";  // "张三" in UTF-8, encoded
    EXPECT_EQ(6, DecodeUrlBase64(text, -1, text, sizeof text));
    EXPECT_EQ(std::string("\xe5\xbc\xa0\xe4\xb8\x89"), std::string(text, 6));
}

TEST(IpTtl, TheEventFallbackRunsWhenTheSystemRefuses) {
    quarn::test::TraceCapture traces;
    for (int raised : {1, 0}) {
        const char* name = raised ? "Global\\EventSet200" : "Global\\EventSet64";
        SCOPED_TRACE(name);
        const os::Handle event = os::event_create(name, os::EventReset::kManual, false);
        ASSERT_NE(nullptr, event);
        traces.clear();
        TarnSetIpTTL(raised);
        const std::string ttl = raised ? "200" : "64";
        if (!traces.find("TarnSetIpTTL", "设置TTL成功").empty()) {
            // The system took the value (Wine's SetIpTTL always does).
            EXPECT_EQ(os::kWaitTimeout, os::event_wait(event, 0));
        } else {
            EXPECT_EQ(
                1u,
                traces.find("TarnSetIpTTL", ("通过 SetIpTTL 设置TTL失败：" + ttl).c_str()).size());
            EXPECT_EQ(0, os::event_wait(event, 0));
        }
        os::event_close(event);
    }
}

TEST(IpTtl, MissingEventIsTraced) {
    quarn::test::TraceCapture traces;
    TarnSetIpTTL(0);
    if (traces.find("TarnSetIpTTL", "设置TTL成功").empty()) {
        EXPECT_EQ(1u, traces.find("TarnSetIpTTL", "打开事件失败：Global\\EventSet64").size());
    }
}

TEST(WinVista, EveryPlatformWeRunOnIsVistaOrLater) {
    quarn::test::TraceCapture traces;
    EXPECT_EQ(1, IsWinVista());
    EXPECT_EQ(1u, traces.find("IsWinVista", "OS MajorVersion ").size());
}

}  // namespace
