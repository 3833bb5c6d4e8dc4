// Double of QuarnCheckCert.dll: no key plugged in unless scripted.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL GetAllUsbKeyCert(int reserved, char** result) {
    fake::record("GetAllUsbKeyCert", "%d", reserved);
    return fake::answer_with_text("GetAllUsbKeyCert", result, 0, nullptr);
}
QUARN_EXPORT int QUARN_CDECL GetUsbKeySerialNum(const char* argument, char** result) {
    fake::record("GetUsbKeySerialNum", "%s", fake::text(argument));
    return fake::answer_with_text("GetUsbKeySerialNum", result, 0, nullptr);
}

static_assert(sizeof(sibling::GetAllUsbKeyCertFunction{&GetAllUsbKeyCert}) > 0);
static_assert(sizeof(sibling::GetUsbKeySerialNumFunction{&GetUsbKeySerialNum}) > 0);
