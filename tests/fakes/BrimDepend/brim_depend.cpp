// Double of the desktop agent's network-control module.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_STDCALL CutoffNetwork(int cut, int restore_time, int reserved) {
    fake::record("CutoffNetwork", "%d|%d|%d", cut, restore_time, reserved);
    return fake::result_or("CutoffNetwork", 1);
}
QUARN_EXPORT int QUARN_STDCALL SetCutNetOption(const char* cut_way, const char* except_ip,
                                               int restore_time) {
    fake::record("SetCutNetOption", "%s|%s|%d", fake::text(cut_way), fake::text(except_ip),
                 restore_time);
    return fake::result_or("SetCutNetOption", 1);
}

static_assert(sizeof(sibling::CutoffNetworkFunction{&CutoffNetwork}) > 0);
static_assert(sizeof(sibling::SetCutNetOptionFunction{&SetCutNetOption}) > 0);
