#include "siblings/QuarnCheckCert/usb_key.h"

#include <cstring>
#include <memory>

#include "cutil/base64.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "os/error.h"
#include "os/pkcs11.h"

namespace usb_key {
namespace {

constexpr char kList[] = "GetAllUsbKeyCert";
constexpr char kSerial[] = "GetUsbKeySerialNum";
using Document = std::unique_ptr<XmlNode, XmlDocumentDeleter>;

// The present tokens; false (traced under `function`) when there are none
// or the module cannot be used.
bool present_tokens(const KeySource& source, bool with_certificates, const char* function,
                    std::vector<os::Pkcs11Token>* tokens) {
    const os::Pkcs11Status status =
        os::pkcs11_tokens(source.pkcs11_module.c_str(), with_certificates, tokens);
    if (status != os::Pkcs11Status::kDone) {
        LogTrace(function, kTraceError, kTraceSource, __LINE__,
                 "PKCS#11 模块 %s 不可用: %s Error=%u", source.pkcs11_module.c_str(),
                 os::pkcs11_status_text(status), os::last_error());
        return false;
    }
    if (tokens->empty()) {
        LogTrace(function, kTraceError, kTraceSource, __LINE__, "没有插入UKEY");
        return false;
    }
    return true;
}

std::string exported(const XmlNode* root) {
    const int size = cutil_xml_export(root, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    if (cutil_xml_export(root, &text[0], size) <= 0) return {};
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string base64_of(const os::CertificateBytes& der) {
    const std::size_t size = (der.size() + 2) / 3 * 4 + 9;
    std::string text(size, '\0');
    const int written = cutil_base64_encode(der.data(), static_cast<int>(der.size()), &text[0],
                                            static_cast<int>(size));
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

}  // namespace

bool read_certificates(const KeySource& source, std::vector<os::CertificateBytes>* certificates) {
    certificates->clear();
    if (source.pkcs11_module.empty()) {
        if (!os::personal_store_certificates(certificates)) {
            LogTrace(kList, kTraceError, kTraceSource, __LINE__, "打开个人证书存储失败 Error=%u",
                     os::last_error());
            return false;
        }
        return true;
    }
    std::vector<os::Pkcs11Token> tokens;
    if (!present_tokens(source, true, kList, &tokens)) return false;
    for (os::Pkcs11Token& token : tokens) {
        for (os::CertificateBytes& der : token.certificates)
            certificates->push_back(std::move(der));
    }
    return true;
}

std::string certificate_list_text(const std::vector<os::CertificateBytes>& certificates) {
    const Document document(cutil_xml_create(kTraceSource, kList, __LINE__));
    if (!document) return {};
    XmlNode* root = document.get();
    for (const os::CertificateBytes& der : certificates) {
        os::CertificateFields fields;
        // Certificates are at most a few kilobytes; the size check keeps the int casts sound.
        if (der.size() > (1u << 20) || !os::certificate_fields(der.data(), der.size(), &fields)) {
            LogTrace(kList, kTraceError, kTraceSource, __LINE__, "证书解析失败, 长度 %u",
                     static_cast<unsigned>(der.size()));
            continue;
        }
        const int index = cutil_xml_add(root, nullptr, "TARN/CertInfo");
        const bool built =
            index > 0 &&
            cutil_xml_add(root, fields.issued_to.c_str(), "TARN/CertInfo[%d]/IssueTo", index) > 0 &&
            cutil_xml_add(root, fields.serial.c_str(), "TARN/CertInfo[%d]/CertSerial", index) > 0 &&
            cutil_xml_add(root, fields.subject.c_str(), "TARN/CertInfo[%d]/Subject", index) > 0 &&
            cutil_xml_add(root, base64_of(der).c_str(), "TARN/CertInfo[%d]/CertBase64", index) > 0;
        if (!built) return {};
    }
    return exported(root);
}

bool serial_number(const KeySource& source, const char* argument, std::string* serial) {
    const Document request(argument != nullptr
                               ? cutil_xml_import(argument, kTraceSource, kSerial, __LINE__)
                               : nullptr);
    const char* type = request ? cutil_xml_get(request.get(), "TARN/UkeyType") : nullptr;
    if (type == nullptr || std::strcmp(type, kEpass1000nd) != 0) {
        LogTrace(kSerial, kTraceError, kTraceSource, __LINE__, "不支持的UKEY类型: %s",
                 argument != nullptr ? argument : "(null)");
        return false;
    }
    if (source.pkcs11_module.empty()) {
        LogTrace(kSerial, kTraceError, kTraceSource, __LINE__, "没有配置 PKCS#11 模块");
        return false;
    }
    std::vector<os::Pkcs11Token> tokens;
    if (!present_tokens(source, false, kSerial, &tokens)) return false;
    if (tokens.front().serial.empty()) {
        LogTrace(kSerial, kTraceError, kTraceSource, __LINE__, "UKEY 没有序列号");
        return false;
    }
    *serial = tokens.front().serial;
    return true;
}

std::string serial_number_text(const std::string& serial) {
    const Document document(cutil_xml_create(kTraceSource, kSerial, __LINE__));
    if (!document || cutil_xml_add(document.get(), serial.c_str(), "TARN/SerialNum") <= 0) {
        return {};
    }
    return exported(document.get());
}

}  // namespace usb_key
