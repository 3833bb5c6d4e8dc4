// QuarnAssRuntimeCheck.dll: network cut-off request and USB-key presence.
#include "interface/sibling_abi.h"
#include "siblings/QuarnAssRuntimeCheck/runtime_check.h"

QUARN_EXPORT int QUARN_CDECL CutOffNetwork() {
    return runtime_check::cut_off_network();
}
QUARN_EXPORT int QUARN_CDECL HaveInsertUsbKey() {
    return runtime_check::have_insert_usb_key();
}

static_assert(sizeof(sibling::CutOffNetworkFunction{&CutOffNetwork}) > 0);
static_assert(sizeof(sibling::HaveInsertUsbKeyFunction{&HaveInsertUsbKey}) > 0);
