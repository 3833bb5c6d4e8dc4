// Init binds five entry points in a fixed order and stops at the first
// failure, leaving what it bound before bound.
#include <gtest/gtest.h>

#include <string>

#include "autocheck/bound_modules.h"
#include "autocheck/startup.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using quarn::test::AssistantHome;
using quarn::test::fake_path;
using quarn::test::fake_without_exports_path;

enum Source { kAbsent, kFull, kNoExports, kDownloadOnly, kWithoutPost };

std::string source_path(Source source, const char* file_name) {
    const std::string partial = quarn::test::program_dir() + "fakes-partial/";
    switch (source) {
        case kFull:
            return fake_path(file_name);
        case kNoExports:
            return fake_without_exports_path(file_name);
        case kDownloadOnly:
            return partial + "download-only/" + file_name;
        case kWithoutPost:
            return partial + "without-post/" + file_name;
        case kAbsent:
            break;
    }
    return {};
}

struct InitCase {
    const char* name;
    Source http, common, cert;
    int result;
    const char* message;  // the error traced, or the information line
    int bound;            // how many of the five entry points are bound afterwards
};

std::ostream& operator<<(std::ostream& out, const InitCase& c) {
    return out << c.name;
}

const InitCase kCases[] = {
    {"HttpClientMissing", kAbsent, kFull, kFull, 0, "加载QuarnHttpClient.dll失败", 0},
    {"HttpDownloadFileMissing", kNoExports, kFull, kFull, 0, "取函数HttpDownloadFile地址失败", 0},
    {"HttpGetMissing", kDownloadOnly, kFull, kFull, 0, "取函数HttpGet地址失败", 1},
    {"HttpPostMissing", kWithoutPost, kFull, kFull, 0, "取函数HttpPost地址失败", 2},
    {"CommonMissing", kFull, kAbsent, kFull, 0, "加载QuarnCommon.dll失败", 3},
    {"GetDeviceInfoMissing", kFull, kNoExports, kFull, 0, "取函数GetDeviceInfo地址失败", 3},
    {"CheckCertMissing", kFull, kFull, kAbsent, 0, "加载QuarnCheckCert.dll失败", 4},
    {"GetAllUsbKeyCertMissing", kFull, kFull, kNoExports, 0, "取函数GetAllUsbkeyCert地址失败", 4},
    {"AllBound", kFull, kFull, kFull, 1, nullptr, 5},
};

class InitBinding : public testing::TestWithParam<InitCase> {
  protected:
    void SetUp() override {
        HttpDownloadFile = nullptr;
        HttpGet = nullptr;
        HttpPost = nullptr;
        GetDeviceInfo = nullptr;
        GetAllUsbKeyCert = nullptr;
    }
};

TEST_P(InitBinding, StopsAtTheFirstFailureKeepingWhatWasBound) {
    const InitCase& c = GetParam();
    AssistantHome home;
    const struct {
        Source source;
        const char* file;
    } modules[] = {{c.http, "QuarnHttpClient.dll"},
                   {c.common, "QuarnCommon.dll"},
                   {c.cert, "QuarnCheckCert.dll"}};
    for (const auto& m : modules) {
        if (m.source != kAbsent) {
            ASSERT_TRUE(home.add(source_path(m.source, m.file), m.file));
        }
    }
    quarn::test::TraceCapture traces;

    EXPECT_EQ(c.result, Init(0, 0));

    const void* bound[] = {reinterpret_cast<void*>(HttpDownloadFile),
                           reinterpret_cast<void*>(HttpGet), reinterpret_cast<void*>(HttpPost),
                           reinterpret_cast<void*>(GetDeviceInfo),
                           reinterpret_cast<void*>(GetAllUsbKeyCert)};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i < c.bound, bound[i] != nullptr);
    }

    const auto records = traces.find("Init");
    ASSERT_FALSE(records.empty());
    EXPECT_GBK_EQ("QuarnAssAutoCheck.dll 初始化", records[0].message);
    EXPECT_EQ("QuarnAssAutoCheck", records[0].source);
    if (c.message != nullptr) {
        ASSERT_EQ(2u, records.size());
        EXPECT_EQ(1u, records[1].level);
        const std::string expected = c.message;
        EXPECT_GBK_EQ(expected, records[1].message.substr(0, expected.size()));
    } else {
        EXPECT_EQ(1u, records.size());
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, InitBinding, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<InitCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(InitBound, EntryPointsReachTheModulesOfTheAssistantDirectory) {
    AssistantHome home;
    for (const char* file : {"QuarnHttpClient.dll", "QuarnCommon.dll", "QuarnCheckCert.dll"}) {
        ASSERT_TRUE(home.add(fake_path(file), file));
    }
    ASSERT_EQ(1, Init(0, 0));
    quarn::test::FakeModule http(home.path("QuarnHttpClient.dll"));
    http.answer("HttpDownloadFile", 1);
    // The standard calling convention survives the call across the module boundary.
    EXPECT_EQ(1, HttpDownloadFile("<TARN/>", 0));
    EXPECT_EQ(1, HttpDownloadFile("<TARN/>", 0));
    const auto calls = http.calls_of("HttpDownloadFile");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("<TARN/>|0", calls[0].arguments);
}

}  // namespace
