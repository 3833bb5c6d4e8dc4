// The product's export table, and Init, which binds five entry points in a
// fixed order and stops at the first failure, leaving what it bound before
// bound.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "autocheck/bound_modules.h"
#include "autocheck/startup.h"
#include "os/module.h"
#include "support/gbk.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace {

using namespace quarn::test;

// Where each module of a case comes from, under the test program's folder.
enum Source { kAbsent, kFull, kNoExports, kDownloadOnly, kWithoutPost };
const char* const kSourceFolders[] = {nullptr, "fakes/", "fakes-without-exports/",
                                      "fakes-partial/download-only/",
                                      "fakes-partial/without-post/"};

struct InitCase {
    const char* name;
    Source http, common, cert;
    const char* error;  // the error traced, or null when Init succeeds
    int bound;          // how many of the five entry points are bound afterwards
};

const InitCase kCases[] = {
    {"HttpClientMissing", kAbsent, kFull, kFull, "加载QuarnHttpClient.dll失败", 0},
    {"HttpDownloadFileMissing", kNoExports, kFull, kFull, "取函数HttpDownloadFile地址失败", 0},
    {"HttpGetMissing", kDownloadOnly, kFull, kFull, "取函数HttpGet地址失败", 1},
    {"HttpPostMissing", kWithoutPost, kFull, kFull, "取函数HttpPost地址失败", 2},
    {"CommonMissing", kFull, kAbsent, kFull, "加载QuarnCommon.dll失败", 3},
    {"GetDeviceInfoMissing", kFull, kNoExports, kFull, "取函数GetDeviceInfo地址失败", 3},
    {"CheckCertMissing", kFull, kFull, kAbsent, "加载QuarnCheckCert.dll失败", 4},
    {"GetAllUsbKeyCertMissing", kFull, kFull, kNoExports, "取函数GetAllUsbkeyCert地址失败", 4},
    {"AllBound", kFull, kFull, kFull, nullptr, 5},
};

class InitBinding : public testing::TestWithParam<InitCase> {};

TEST_P(InitBinding, StopsAtTheFirstFailureKeepingWhatWasBound) {
    const InitCase& c = GetParam();
    HttpDownloadFile = nullptr;
    HttpGet = nullptr;
    HttpPost = nullptr;
    GetDeviceInfo = nullptr;
    GetAllUsbKeyCert = nullptr;
    AssistantHome home;
    const std::pair<Source, const char*> modules[] = {{c.http, "QuarnHttpClient.dll"},
                                                      {c.common, "QuarnCommon.dll"},
                                                      {c.cert, "QuarnCheckCert.dll"}};
    for (const auto& [source, file] : modules) {
        if (source == kAbsent) continue;
        ASSERT_TRUE(home.add(program_dir() + kSourceFolders[source] + file, file));
    }
    TraceCapture traces;

    EXPECT_EQ(c.error == nullptr ? 1 : 0, Init(0, 0));

    const void* bound[] = {reinterpret_cast<void*>(HttpDownloadFile),
                           reinterpret_cast<void*>(HttpGet), reinterpret_cast<void*>(HttpPost),
                           reinterpret_cast<void*>(GetDeviceInfo),
                           reinterpret_cast<void*>(GetAllUsbKeyCert)};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i < c.bound, bound[i] != nullptr);
    }
    const auto records = traces.find("Init");
    ASSERT_EQ(c.error == nullptr ? 1u : 2u, records.size());
    EXPECT_GBK_EQ("QuarnAssAutoCheck.dll 初始化", records[0].message);
    EXPECT_EQ("QuarnAssAutoCheck.cpp", records[0].source);
    if (c.error != nullptr) {
        EXPECT_EQ(1u, records[1].level);
        const std::string expected = c.error;
        EXPECT_GBK_EQ(expected, records[1].message.substr(0, expected.size()));
        return;
    }

    // The bound entry points reach the modules of the assistant directory,
    // and the standard calling convention survives the module boundary.
    FakeModule http(home.path("QuarnHttpClient.dll"));
    http.answer("HttpDownloadFile", 1);
    EXPECT_EQ(1, HttpDownloadFile("<TARN/>", 0));
    EXPECT_EQ(1, HttpDownloadFile("<TARN/>", 0));
    const auto calls = http.calls_of("HttpDownloadFile");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("<TARN/>|0", calls[0].arguments);
}

INSTANTIATE_TEST_SUITE_P(EachStep, InitBinding, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<InitCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

// Every name of the .def resolves undecorated, as the assistant binds them
// with GetProcAddress.
TEST(ProductExports, StartUpEntryPointsResolveByTheirPlainNamesAndNothingElseLeaks) {
    const os::Handle product =
        os::module_load((quarn::test::program_dir() + "QuarnAssAutoCheck.dll").c_str());
    ASSERT_NE(nullptr, product);
    EXPECT_NE(nullptr, os::module_symbol(product, "Init"));
    EXPECT_NE(nullptr, os::module_symbol(product, "Start"));
    // Neither decorated names nor the library's inside.
    for (const char* hidden : {"Init@8", "_Init@8", "GetAssistantDir", "LogTrace"}) {
        EXPECT_EQ(nullptr, os::module_symbol(product, hidden)) << hidden;
    }
    os::module_free(product);
}

}  // namespace
