// Double of the desktop agent's network-control module. CutoffNetwork
// scripted with the text "fault" writes through a null pointer, as a broken
// agent module would.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

namespace {

__attribute__((noinline, no_sanitize_undefined, no_sanitize_address)) void write_through_null() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

}  // namespace

QUARN_EXPORT int QUARN_STDCALL CutoffNetwork(int cut, int restore_time, int reserved) {
    fake::record("CutoffNetwork", "%d|%d|%d", cut, restore_time, reserved);
    const fake::Answer a = fake::answer("CutoffNetwork");
    if (a.has_text && a.text == "fault") write_through_null();
    return a.scripted ? a.result : 1;
}
QUARN_EXPORT int QUARN_STDCALL SetCutNetOption(const char* cut_way, const char* except_ip,
                                               int restore_time) {
    fake::record("SetCutNetOption", "%s|%s|%d", fake::text(cut_way), fake::text(except_ip),
                 restore_time);
    return fake::result_or("SetCutNetOption", 1);
}

static_assert(sizeof(sibling::CutoffNetworkFunction{&CutoffNetwork}) > 0);
static_assert(sizeof(sibling::SetCutNetOptionFunction{&SetCutNetOption}) > 0);
