// Double of QuarnAssConfigMgr.dll: a working store in memory, so that what a
// test writes is read back; scripted answers override it.
#include <map>
#include <mutex>
#include <string>

#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

namespace {

std::mutex g_lock;
std::map<std::string, std::string>& store() {
    static std::map<std::string, std::string> values;
    return values;
}

void forget_store() {
    std::lock_guard<std::mutex> guard(g_lock);
    store().clear();
}

const bool g_hooked = (fake::set_reset_hook(&forget_store), true);

}  // namespace

QUARN_EXPORT int QUARN_CDECL TarnReadConfig(const char* key, char** value) {
    fake::record("TarnReadConfig", "%s", text(key));
    const fake::Answer a = fake::answer("TarnReadConfig");
    if (a.scripted) {
        if (a.has_text) fake::hand_out_text(value, a.text);
        return a.result;
    }
    if (key == nullptr || value == nullptr) return 0;
    std::string found;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto it = store().find(key);
        if (it == store().end()) return 0;
        found = it->second;
    }
    fake::hand_out_text(value, found);
    return 1;
}

QUARN_EXPORT int QUARN_CDECL TarnWriteConfig(const char* key, const char* value) {
    fake::record("TarnWriteConfig", "%s|%s", text(key), text(value));
    const fake::Answer a = fake::answer("TarnWriteConfig");
    if (a.scripted) return a.result;
    if (key == nullptr || value == nullptr) return 0;
    std::lock_guard<std::mutex> guard(g_lock);
    store()[key] = value;
    return g_hooked ? 1 : 0;
}

QUARN_EXPORT int QUARN_CDECL Init(const char* argument, char** result) {
    fake::record("Init", "%s", text(argument));
    return fake::answer_with_text("Init", result, 0, nullptr);
}

static_assert(sizeof(sibling::TarnReadConfigFunction{&TarnReadConfig}) > 0);
static_assert(sizeof(sibling::TarnWriteConfigFunction{&TarnWriteConfig}) > 0);
static_assert(sizeof(sibling::PluginFunction{&Init}) > 0);
