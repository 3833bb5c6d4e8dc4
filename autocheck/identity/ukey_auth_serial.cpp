// The serial number of an ePass1000ND key, read through the certificate
// module, which is loaded on first use and kept for the life of the library.
#include <cstring>
#include <memory>
#include <mutex>

#include "autocheck/identity/ukey_auth.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/sibling_abi.h"
#include "os/file.h"
#include "os/memory.h"
#include "os/module.h"

namespace {

constexpr char kFunction[] = "GetUsbKeySerialNum__ePass1000ND";
constexpr char kArgument[] = "<TARN><UkeyType>ePass1000ND</UkeyType></TARN>";
constexpr std::size_t kSerialSize = 32;

#define SERIAL_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kIdentityAuthSource, __LINE__, __VA_ARGS__)

struct GlobalFreeDeleter {
    void operator()(char* block) const { os::global_free(block); }
};

// Several threads may authenticate at once: the first to find the module
// unloaded loads it, the others wait for it and see the same pointer.
std::mutex g_loading;
os::Handle g_module = nullptr;                             // under g_loading
sibling::GetUsbKeySerialNumFunction g_function = nullptr;  // under g_loading

// The module's GetUsbKeySerialNum; loading is tried again on every call
// until the module loads, the function looked up once it has.
sibling::GetUsbKeySerialNumFunction serial_function() {
    std::lock_guard<std::mutex> guard(g_loading);
    if (g_module == nullptr) {
        char path[kPathSize];
        if (gateway::assistant_file_path(sibling::kCheckCertDll, path)) {
            g_module = os::module_load(path);
        }
        if (g_module != nullptr) {
            g_function = reinterpret_cast<sibling::GetUsbKeySerialNumFunction>(
                os::module_symbol(g_module, sibling::kGetUsbKeySerialNumName));
        }
    }
    return g_function;
}

}  // namespace

int GetUsbKeySerialNum__ePass1000ND(char* serial) {
    if (serial == nullptr) return 0;
    // The certificate module finds the key's own libraries from there.
    char directory[kPathSize];
    GetAssistantDir(directory);
    os::directory_set_current(directory);

    const sibling::GetUsbKeySerialNumFunction function = serial_function();
    if (function == nullptr) {
        SERIAL_TRACE(kTraceError, "没有找到GetUsbKeySerialNum");
        return 0;
    }
    char* received = nullptr;
    const int called = function(kArgument, &received);
    const std::unique_ptr<char, GlobalFreeDeleter> reply(received);
    if (called == 0 || reply == nullptr) {
        SERIAL_TRACE(kTraceError, "GetUsbKeySerialNum 调用失败");
        return 0;
    }
    const XmlDocument document(
        cutil_xml_import(reply.get(), autocheck::kIdentityAuthSource, kFunction, __LINE__));
    if (document == nullptr) {
        SERIAL_TRACE(kTraceError, "没有取到序列号");
        return 0;
    }
    std::memset(serial, 0, kSerialSize);
    // A missing number leaves the buffer empty, which the caller refuses; so
    // does one of 30 characters or more, since a cut number names another key.
    const char* number = cutil_xml_get(document.get(), "TARN/SerialNum");
    if (number == nullptr) return 1;
    const std::size_t length = std::strlen(number);
    if (length >= kSerialSize - 2) return 0;
    std::memcpy(serial, number, length);
    return 1;
}
