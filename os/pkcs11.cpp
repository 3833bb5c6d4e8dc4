// The PKCS#11 calls themselves are the same on every platform; only the
// module loader differs, and os::module_load hides it. The standard header
// (p11-kit's copy, which packs the structures on Windows as the standard
// requires) is made available by os/CMakeLists.txt.
#include "os/pkcs11.h"

#include <p11-kit/pkcs11.h>

#include <mutex>

#include "os/error.h"
#include "os/module.h"
#include "os/types.h"

namespace os {
namespace {

// No certificate of a USB key comes near this; a larger value is not read.
constexpr CK_ULONG kMaxCertificateSize = 1u << 20;

std::mutex& pkcs11_lock() {
    static std::mutex lock;
    return lock;
}

std::string padded_text(const CK_UTF8CHAR* field, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(field), size);
    const auto end = text.find_last_not_of(" \0", std::string::npos, 2);
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

CK_RV read_certificates(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE session,
                        std::vector<std::vector<std::uint8_t>>* certificates) {
    CK_OBJECT_CLASS object_class = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_ATTRIBUTE wanted[] = {
        {CKA_CLASS, &object_class, sizeof object_class},
        {CKA_CERTIFICATE_TYPE, &type, sizeof type},
    };
    CK_RV rv = p11->C_FindObjectsInit(session, wanted, 2);
    if (rv != CKR_OK) return rv;
    std::vector<CK_OBJECT_HANDLE> found;
    for (;;) {
        CK_OBJECT_HANDLE batch[16];
        CK_ULONG count = 0;
        rv = p11->C_FindObjects(session, batch, 16, &count);
        if (rv != CKR_OK || count == 0) break;
        found.insert(found.end(), batch, batch + count);
    }
    p11->C_FindObjectsFinal(session);
    if (rv != CKR_OK) return rv;
    for (const CK_OBJECT_HANDLE object : found) {
        CK_ATTRIBUTE value = {CKA_VALUE, nullptr, 0};
        if (p11->C_GetAttributeValue(session, object, &value, 1) != CKR_OK ||
            value.ulValueLen == CK_UNAVAILABLE_INFORMATION || value.ulValueLen == 0 ||
            value.ulValueLen > kMaxCertificateSize) {
            continue;  // a sensitive or unreadable object is not a certificate we can show
        }
        std::vector<std::uint8_t> der(value.ulValueLen);
        value.pValue = der.data();
        if (p11->C_GetAttributeValue(session, object, &value, 1) != CKR_OK) continue;
        der.resize(value.ulValueLen);
        certificates->push_back(std::move(der));
    }
    return CKR_OK;
}

Pkcs11Status read_tokens(CK_FUNCTION_LIST* p11, bool with_certificates,
                         std::vector<Pkcs11Token>* tokens) {
    std::vector<CK_SLOT_ID> slots;
    CK_RV rv = CKR_BUFFER_TOO_SMALL;
    // Tokens may come and go between the counting call and the listing one.
    for (int attempt = 0; attempt < 4 && rv == CKR_BUFFER_TOO_SMALL; ++attempt) {
        CK_ULONG count = 0;
        rv = p11->C_GetSlotList(CK_TRUE, nullptr, &count);
        if (rv != CKR_OK) break;
        slots.resize(count);
        if (count == 0) break;
        rv = p11->C_GetSlotList(CK_TRUE, slots.data(), &count);
        if (rv == CKR_OK) slots.resize(count);
    }
    if (rv != CKR_OK) {
        set_last_error(static_cast<std::uint32_t>(rv));
        return Pkcs11Status::kFailed;
    }
    for (const CK_SLOT_ID slot : slots) {
        CK_TOKEN_INFO info;
        // A token pulled out since the listing is simply not there.
        if (p11->C_GetTokenInfo(slot, &info) != CKR_OK) continue;
        // A blank token (a fresh card, SoftHSM's spare slot) holds no key yet.
        if ((info.flags & CKF_TOKEN_INITIALIZED) == 0) continue;
        Pkcs11Token token;
        token.serial = padded_text(info.serialNumber, sizeof info.serialNumber);
        token.label = padded_text(info.label, sizeof info.label);
        if (with_certificates) {
            CK_SESSION_HANDLE session = 0;
            if (p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session) != CKR_OK)
                continue;
            rv = read_certificates(p11, session, &token.certificates);
            p11->C_CloseSession(session);
            if (rv != CKR_OK) continue;
        }
        tokens->push_back(std::move(token));
    }
    return Pkcs11Status::kDone;
}

}  // namespace

const char* pkcs11_status_text(Pkcs11Status status) {
    switch (status) {
        case Pkcs11Status::kDone:
            return "done";
        case Pkcs11Status::kModuleMissing:
            return "module does not load";
        case Pkcs11Status::kNotPkcs11:
            return "not a PKCS#11 module";
        case Pkcs11Status::kInitializeFailed:
            return "C_Initialize failed";
        case Pkcs11Status::kFailed:
            break;
    }
    return "slot list failed";
}

Pkcs11Status pkcs11_tokens(const char* module_path, bool with_certificates,
                           std::vector<Pkcs11Token>* tokens) {
    tokens->clear();
    if (module_path == nullptr || *module_path == '\0') {
        set_last_error(kErrorInvalidParameter);
        return Pkcs11Status::kModuleMissing;
    }
    std::lock_guard<std::mutex> guard(pkcs11_lock());
    // Modules stay loaded: a vendor library may leave threads behind.
    const Handle module = module_load(module_path);
    if (module == nullptr) return Pkcs11Status::kModuleMissing;
    const auto get_function_list =
        reinterpret_cast<CK_C_GetFunctionList>(module_symbol(module, "C_GetFunctionList"));
    CK_FUNCTION_LIST* p11 = nullptr;
    if (get_function_list == nullptr || get_function_list(&p11) != CKR_OK || p11 == nullptr ||
        p11->C_Initialize == nullptr) {
        return Pkcs11Status::kNotPkcs11;
    }
    CK_C_INITIALIZE_ARGS arguments = {};
    arguments.flags = CKF_OS_LOCKING_OK;
    const CK_RV initialized = p11->C_Initialize(&arguments);
    if (initialized != CKR_OK && initialized != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        set_last_error(static_cast<std::uint32_t>(initialized));
        return Pkcs11Status::kInitializeFailed;
    }
    const Pkcs11Status status = read_tokens(p11, with_certificates, tokens);
    // Someone else in the process initialised it first: theirs to finalise.
    if (initialized == CKR_OK) p11->C_Finalize(nullptr);
    return status;
}

}  // namespace os
