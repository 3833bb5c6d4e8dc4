// The admission cycle end to end on the doubles. Authentication is the
// NoAuth request through the HTTP client double (answered with both IDs, or
// not at all). The check is the real check routine: with IsDoSecurityCheck
// 0 no check is wanted and it passes; with 1 the cycle has just deleted the
// stored policy and no server answers for a new one, so it fails.
#include "autocheck/runtime/admission_cycle.h"

#include "autocheck/runtime/cycle_lock.h"
#include "interface/cached_entry_points.h"
#include "os/fault.h"
#include "tests/autocheck/runtime/cycle_fixture.h"

namespace {

using namespace runtime_test;

#define RESET "CheckResult=|RoleId=0|AuthTime=|HaveRestart=1|"
#define STAMP "AuthTime=2026-02-02 10:00:00|"
#define PAGE "dialog 入网小助手-身份认证与安全检查|http://srv/check?from=assistant|0x0|0|\n"
#define NO_DHCP "trace: 不是dhcp准入技术，不能刷新IP\n"
#define DHCP "trace: Dhcp准入技术，需要刷新IP\n"
#define RENEW "start ipconfig.exe -renew\n"

struct CycleCase {
    const char* name;
    const char* settings;  // changes to the base settings
    bool authenticated;
    const char* keys;  // CheckResult, RoleId, AuthTime and HaveRestart as written, in order
    const char* journal;
};

const CycleCase kCases[] = {
    {"AuthenticationFails", "SupportNat=1;SuportPraxa=1;CurrentEnforceType=dbridge", false,
     RESET STAMP,
     "cycle\ntrace: 删除安检策略\nerror: 身份认证失败\nttl 64\n" DHCP
     "log: 身份认证失败\n" PAGE RENEW},
    {"Admitted", "SupportNat=1;SuportPraxa=1;IsDisturb=1;CurrentEnforceType=dhcp", true,
     RESET STAMP "RoleId=3|CheckResult=success|",
     "cycle\ntrace: 删除安检策略\ntrace: 身份认证成功\ntrace: 安全检查已完成\nttl 200\n"
     "agent: 通过Praxa的TDI放开网络\n" NO_DHCP "log: 安全检查已完成\n"},
    {"CheckFails", "IsDoSecurityCheck=1;SupportNat=1;SuportPraxa=1", true, RESET STAMP "RoleId=3|",
     "cycle\ntrace: 删除安检策略\ntrace: 身份认证成功\ntrace: 安全检查没有通过\n" NO_DHCP PAGE},
    {"CheckFailsNotDisturbed", "IsDoSecurityCheck=1;IsDisturb=1;CurrentEnforceType=DBRIDGE", true,
     RESET STAMP "RoleId=3|",
     "cycle\ntrace: 删除安检策略\ntrace: 身份认证成功\ntrace: 安全检查没有通过\nerror: "
     "安全检查没有通过， 但因为是免打挠模式，所有没有打开检查页面\n" DHCP RENEW},
    {"NoCheckPage", "CheckUrl", true, RESET,
     "cycle\ntrace: 删除安检策略\nerror: 没有找到检查页面，退出小助手\n"
     "log: 没有找到检查页面，退出小助手\nexit 0\n"},
};

void PrintTo(const CycleCase& c, std::ostream* out) {
    *out << c.name;
}

class AdmissionCycle : public CycleFixture, public testing::WithParamInterface<CycleCase> {
  protected:
    void configure_cycle(const char* changes, bool authenticated) {
        configure(
            "CheckUrl=http://srv/check;WebUrl=http://srv:8080;DeviceId=12;LastAuthType=NoAuth;"
            "IsDoSecurityCheck=0",
            changes);
        if (authenticated) http_.answer("HttpGet", 1, kAccepted);
    }
    static std::uint32_t cycle_thread(void*) {
        AutoAuthAndCheck();
        return 0;
    }
};

TEST_P(AdmissionCycle, OutcomeFollowsAuthenticationAndCheck) {
    const CycleCase& c = GetParam();
    configure_cycle(c.settings, c.authenticated);
    const std::string policy = home_.path("SecurityCheckPolicy.xml");
    std::fclose(std::fopen(policy.c_str(), "wb"));
    open_earlier_page();  // only a new page replaces it

    run([] { AutoAuthAndCheck(); });

    std::string keys;
    for (const auto& call : config_store_.calls_of("TarnWriteConfig")) {
        const std::size_t bar = call.arguments.find('|');
        const std::string key = call.arguments.substr(0, bar);
        if (key == "CheckResult" || key == "RoleId" || key == "AuthTime" || key == "HaveRestart")
            keys += key + "=" + call.arguments.substr(bar + 1) + "|";
    }
    EXPECT_EQ(c.keys, keys);
    expect_journal(c.journal, {"AutoAuthAndCheck"}, {"身份认证失败", "安全检查已完成", "没有找到"});
    EXPECT_FALSE(std::filesystem::exists(policy));
    const bool replaced = std::string(c.journal).find("dialog ") != std::string::npos;
    EXPECT_EQ(replaced, earlier_page_ended(replaced));
}

INSTANTIATE_TEST_SUITE_P(EachOutcome, AdmissionCycle, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(AdmissionCycle, CyclesStartedTogetherRunOneAfterTheOther) {
    configure_cycle("", true);
    os::Handle threads[2] = {};
    {
        // As if a cycle were running: both new ones wait for it.
        const std::lock_guard<std::mutex> running(autocheck::admission_cycle_lock());
        for (os::Handle& thread : threads) thread = os::thread_start(&cycle_thread, nullptr);
        os::sleep_ms(300);
        EXPECT_TRUE(traces_.find("AutoAuthAndCheck").empty());
    }
    for (os::Handle thread : threads) {
        ASSERT_TRUE(os::handle_wait(thread, 30000));
        os::handle_close(thread);
    }
    std::string order;
    for (const auto& record : traces_.find("AutoAuthAndCheck")) {
        if (record.message == "删除安检策略") order += "(";
        if (record.message.rfind("不是dhcp", 0) == 0) order += ")";
    }
    EXPECT_EQ("()()", order);
}

// The configuration double's reader, with a null write in place of the
// answer for one key.
sibling::TarnReadConfigFunction g_store_reader = nullptr;
const char* g_faulting_key = nullptr;

__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) int QUARN_CDECL
faulting_reader(const char* key, char** value) {
    if (std::strcmp(key, g_faulting_key) == 0) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    return g_store_reader(key, value);
}

void cycle_in_pass_guard(void*) {
    AutoAuthAndCheck();
}

// A fault in any step, before authentication (the check page's address) or
// inside it, ends that cycle only: the lock is free and the next cycle runs.
TEST_F(AdmissionCycle, AFaultInAnyStepLetsTheNextCycleRun) {
    for (const char* key : {"CheckUrl", "LastAuthType"}) {
        SCOPED_TRACE(key);
        configure_cycle("", true);
        g_store_reader = reinterpret_cast<sibling::TarnReadConfigFunction>(
            config_store_.symbol("TarnReadConfig"));
        g_faulting_key = key;
        gateway::install_config_store(&faulting_reader,
                                      reinterpret_cast<sibling::TarnWriteConfigFunction>(
                                          config_store_.symbol("TarnWriteConfig")));
        // As the working pass runs it: under a guard of its own.
        EXPECT_EQ(os::Fault::kNone, os::fault_guard(&cycle_in_pass_guard, nullptr));
        gateway::install_config_store(nullptr, nullptr);
        EXPECT_EQ(1u, traces_.find("AutoAuthAndCheck", "发生异常").size());
        ASSERT_TRUE(autocheck::admission_cycle_lock().try_lock());
        autocheck::admission_cycle_lock().unlock();

        run([] { AutoAuthAndCheck(); });
        EXPECT_EQ(1u, traces_.find("AutoAuthAndCheck", "安全检查已完成").size());
        traces_.clear();
    }
}

}  // namespace
