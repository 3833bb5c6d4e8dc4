// Double of QuarnAssRuntimeCheck.dll.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL CutOffNetwork() {
    fake::record("CutOffNetwork", "%s", "");
    return fake::result_or("CutOffNetwork", 1);
}
QUARN_EXPORT int QUARN_CDECL HaveInsertUsbKey() {
    fake::record("HaveInsertUsbKey", "%s", "");
    return fake::result_or("HaveInsertUsbKey", 1);
}

static_assert(sizeof(sibling::CutOffNetworkFunction{&CutOffNetwork}) > 0);
static_assert(sizeof(sibling::HaveInsertUsbKeyFunction{&HaveInsertUsbKey}) > 0);
