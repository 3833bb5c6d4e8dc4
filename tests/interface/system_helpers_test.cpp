// The assistant directory, time texts, URL splitting, the URL-safe Base64
// form and the TTL marker.
#include "interface/system_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "interface/assistant_dir.h"
#include "os/event.h"
#include "os/seams.h"
#include "os/system.h"
#include "tests/fakes/trace_capture.h"

namespace {

// An unset, empty, relative or too long APPDATA gives the system's own data
// folder: on POSIX the XDG one, which the test sets.
#ifdef _WIN32
constexpr char kRoot[] = "D:\\";
std::string unset_directory() {
    char folder[kPathSize] = "";
    EXPECT_GT(os::app_data_folder(folder, sizeof folder), 2u);
    return std::string(folder) + "\\Quarn\\";
}
#else
constexpr char kRoot[] = "/D/";
std::string unset_directory() {
    return "/data/home\\Quarn\\";
}
#endif

TEST(AssistantDir, QuarnFolderOfAnAbsoluteAppdataOrOfTheSystemsOwn) {
    char saved[1024] = "";
    const bool had = os::env_get("APPDATA", saved, sizeof saved) > 0;
    char saved_xdg[1024] = "";
    const bool had_xdg = os::env_get("XDG_DATA_HOME", saved_xdg, sizeof saved_xdg) > 0;
    os::env_set("XDG_DATA_HOME", "/data/home");
    const std::string root = kRoot;
    const std::string unset = unset_directory();
    // "\\Quarn\\" after 252 characters ends at the 259th: the longest that fits.
    const std::string longest = root + std::string(249, 'b');
    const struct {
        std::string appdata;  // "-": unset
        std::string directory;
    } cases[] = {
        {root + "Users\\a\\AppData\\Roaming\\", root + "Users\\a\\AppData\\Roaming\\Quarn\\"},
        {root + "Users\\a\\AppData\\Roaming", root + "Users\\a\\AppData\\Roaming\\Quarn\\"},
        {"-", unset},
        {"", unset},
        {"Users\\a\\AppData", unset},  // relative: would follow the working folder
        {"C:", unset},
        {root + std::string(300, 'a'), unset},  // too long for a path: as unset
        {longest, longest + "\\Quarn\\"},
        {longest + "b", unset},  // one more would cut the folder: as unset
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.appdata);
        os::env_set("APPDATA", c.appdata == "-" ? nullptr : c.appdata.c_str());
        char directory[kPathSize];
        std::fill(directory, directory + sizeof directory, '#');
        EXPECT_EQ(1, GetAssistantDir(directory));
        EXPECT_EQ(c.directory, directory);
    }
    // A file of the longest folder does not fit: refused, never cut.
    os::env_set("APPDATA", longest.c_str());
    char path[kPathSize];
    EXPECT_FALSE(gateway::assistant_file_path("a.dll", path));
    EXPECT_STREQ("", path);
    os::env_set("APPDATA", had ? saved : nullptr);
    os::env_set("XDG_DATA_HOME", had_xdg ? saved_xdg : nullptr);
    EXPECT_EQ(0, GetAssistantDir(nullptr));
}

class TimeText : public testing::Test {
  protected:
    void SetUp() override { os::seams::install_fake_clock(&clock_); }
    void TearDown() override { os::seams::install_fake_clock(nullptr); }
    void now(int year, int month, int day, int hour, int minute) {
        clock_.local = {year, month, 0, day, hour, minute, 30, 0};
    }
    os::seams::FakeClock clock_;
};

TEST_F(TimeText, LocalTimeIsNineteenCharacters) {
    now(2026, 3, 4, 5, 6);
    char text[20];
    EXPECT_EQ(19, GetLocalTimeText(text));
    EXPECT_STREQ("2026-03-04 05:06:30", text);
    EXPECT_EQ(0, GetLocalTimeText(nullptr));
}

TEST_F(TimeText, DaysSinceCountThirtyDayMonthsAndDay31AsThirty) {
    const struct {
        const char* since;
        int year, month, day, hour, minute;  // now
        int days, hours, minutes;            // 99: the output is left as it was
    } cases[] = {
        {"2012-01-31 10:00:00", 2012, 2, 1, 10, 0, 1, 0, 0},
        {"2012-01-01 10:00:00", 2012, 1, 31, 9, 30, 29, -1, 30},
        {"2011-12-15 23:59:00", 2012, 1, 15, 0, 1, 30, -23, -58},
        {"2012-03-01 08:00:00", 2012, 2, 29, 8, 0, -2, 0, 0},  // a time in the future
        {"2012-01-31", 2012, 1, 31, 6, 7, 0, 6, 7},            // no time of day: midnight
        // Malformed: nothing is read past a short text.
        {"2012/01/31 10:00:00", 2012, 2, 1, 10, 0, 0, 99, 99},
        {"2012-1-31 10:00", 2012, 2, 1, 10, 0, 0, 99, 99},
        {"2012-01-3", 2012, 2, 1, 10, 0, 0, 99, 99},
        {"", 2012, 2, 1, 10, 0, 0, 99, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.since);
        now(c.year, c.month, c.day, c.hour, c.minute);
        int hours = 99, minutes = 99;
        EXPECT_EQ(c.days, DaysSinceTime(c.since, &hours, &minutes));
        EXPECT_EQ(c.hours, hours);
        EXPECT_EQ(c.minutes, minutes);
        EXPECT_EQ(c.days, DaysSinceTime(c.since, nullptr, nullptr));
    }
    EXPECT_EQ(0, DaysSinceTime(nullptr, nullptr, nullptr));
}

TEST(SplitUrl, HostAndPortOfEveryShape) {
    const struct {
        std::string url;
        const char* host;
        int port;
    } cases[] = {
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
        {"http://" + std::string(64, 'h') + ":90/", "", 90},  // left empty rather than cut
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        char host[64] = "old";
        int port = -1;
        SplitUrlHostPort(c.url.c_str(), &port, host, sizeof host);
        EXPECT_STREQ(c.host, host);
        EXPECT_EQ(c.port, port);
    }
    SplitUrlHostPort("http://a:1/", nullptr, nullptr, 0);  // outputs are optional
}

TEST(UrlBase64, PlusSlashAndPaddingAreWrittenUrlSafeAndDecodeBack) {
    const struct {
        std::string input;
        const char* encoded;
    } cases[] = {
        {"abc", "YWJj"},      {"ab", "YWI:"},
        {"a", "YQ::"},        {std::string("\xfb\xff\xbf\xfb\xff\xbf", 6), ",.,.,.,."},
        {"张三", "1cXI.Q::"},
    };
    for (const auto& c : cases) {
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
    char text[32] = "5byg5LiJ";  // "张三" in UTF-8, decoded in place
    EXPECT_EQ(6, DecodeUrlBase64(text, -1, text, sizeof text));
    EXPECT_EQ(std::string("\xe5\xbc\xa0\xe4\xb8\x89"), std::string(text, 6));
    EXPECT_EQ(4, EncodeUrlBase64("abc", -1, text, sizeof text));
    EXPECT_EQ(0, EncodeUrlBase64(nullptr, 3, text, sizeof text));
    EXPECT_EQ(0, DecodeUrlBase64(nullptr, 3, text, sizeof text));
}

TEST(IpTtl, TheEventFallbackRunsWhenTheSystemRefuses) {
    quarn::test::TraceCapture traces;
    // Wine's SetIpTTL always takes the value; elsewhere the fallback runs.
    TarnSetIpTTL(0);
    const bool taken = !traces.find("TarnSetIpTTL", "设置TTL成功").empty();
    EXPECT_EQ(taken ? 0u : 1u,
              traces.find("TarnSetIpTTL", "打开事件失败：Global\\EventSet64").size());
    for (const std::string ttl : {"200", "64"}) {
        const os::Handle event =
            os::event_create(("Global\\EventSet" + ttl).c_str(), os::EventReset::kManual, false);
        ASSERT_NE(nullptr, event);
        traces.clear();
        TarnSetIpTTL(ttl == "200" ? 1 : 0);
        EXPECT_EQ(taken ? os::kWaitTimeout : 0, os::event_wait(event, 0)) << ttl;
        const std::string failed = "通过 SetIpTTL 设置TTL失败：" + ttl;
        EXPECT_EQ(taken ? 0u : 1u, traces.find("TarnSetIpTTL", failed.c_str()).size()) << ttl;
        os::event_close(event);
    }
}

}  // namespace
