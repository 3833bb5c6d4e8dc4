// QuarnCheckCert.dll: GetAllUsbKeyCert and GetUsbKeySerialNum. Both answer
// nonzero with a new global-allocator text on success, 0 otherwise.
#include <cstring>
#include <exception>
#include <string>

#include "cutil/trace.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "siblings/QuarnCheckCert/usb_key.h"

namespace {

int hand_out(const std::string& text, char** result) {
    if (text.empty()) return 0;
    auto* block = static_cast<char*>(os::global_alloc(text.size() + 1));
    if (block == nullptr) return 0;
    std::memcpy(block, text.c_str(), text.size() + 1);
    *result = block;
    return 1;
}

int all_certificates(char** result) {
    std::vector<os::CertificateBytes> certificates;
    if (!usb_key::read_certificates(usb_key::key_source(), &certificates)) return 0;
    return hand_out(usb_key::certificate_list_text(certificates), result);
}

int serial_number(const char* argument, char** result) {
    std::string serial;
    if (!usb_key::serial_number(usb_key::key_source(), argument, &serial)) return 0;
    return hand_out(usb_key::serial_number_text(serial), result);
}

void trace_exception(const char* function) {
    LogTrace(function, kTraceError, usb_key::kTraceSource, __LINE__, "发生异常");
}

}  // namespace

QUARN_EXPORT int QUARN_CDECL GetAllUsbKeyCert(int /*reserved*/, char** result) {
    if (result == nullptr) return 0;
    *result = nullptr;
    try {
        return all_certificates(result);
    } catch (const std::exception&) {
        trace_exception("GetAllUsbKeyCert");
        return 0;
    }
}

QUARN_EXPORT int QUARN_CDECL GetUsbKeySerialNum(const char* argument, char** result) {
    if (result == nullptr) return 0;
    *result = nullptr;
    try {
        return serial_number(argument, result);
    } catch (const std::exception&) {
        trace_exception("GetUsbKeySerialNum");
        return 0;
    }
}

static_assert(sizeof(sibling::GetAllUsbKeyCertFunction{&GetAllUsbKeyCert}) > 0);
static_assert(sizeof(sibling::GetUsbKeySerialNumFunction{&GetUsbKeySerialNum}) > 0);
