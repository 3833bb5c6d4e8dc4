#include "tests/siblings/check_cert/key_fixture.h"

#include <gtest/gtest.h>

#include <memory>

#include "cutil/base64.h"
#include "cutil/xml.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/module.h"

namespace quarn::test {

const KnownCertificate kKnownCertificates[2] = {
    {"MIIBrjCCAVOgAwIBAgIEChssPTAKBggqhkjOPQQDAjAzMQswCQYDVQQGEwJDTjETMBEGA1UECgwKUXVhcm4gVGVzdD"
     "EPMA0GA1UEAwwG5byg5LiJMCAXDTI2MTIwNzEzNTA0M1oYDzIxMjYxMTEzMTM1MDQzWjAzMQswCQYDVQQGEwJDTjET"
     "MBEGA1UECgwKUXVhcm4gVGVzdDEPMA0GA1UEAwwG5byg5LiJMFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEtQ7mNz"
     "NIWJ04CMk3b/AhF0qtK4RhBNqntbxXJ4Gglr5hRBLyTlrab9qchs0ZHCtC0/bW603zzuFQu2NIMUoc06NTMFEwHQYD"
     "VR0OBBYEFDaj7J8n3mXOG1jfs5nhvgZDspi/MB8GA1UdIwQYMBaAFDaj7J8n3mXOG1jfs5nhvgZDspi/MA8GA1UdEw"
     "EB/wQFMAMBAf8wCgYIKoZIzj0EAwIDSQAwRgIhALR2TsUcOrcVLjax0pZgNJWeGyhvSCWD0XB3Y/64V3zLAiEA+hqV"
     "Wns3dxFKyDSkct6XHtYwXjWmT67h0QsYSRSdcz4=",
     "张三", "0A1B2C3D", "C=CN, O=Quarn Test, CN=张三"},
    {"MIIB1DCCAXugAwIBAgICAIAwCgYIKoZIzj0EAwIwSDELMAkGA1UEBhMCQ04xEzARBgNVBAoMClF1YXJuIFRlc3QxFD"
     "ASBgNVBAsMC05ldCwgQWNjZXNzMQ4wDAYDVQQDDAVsaS5zaTAgFw0yNjEyMDcxMzUwNDNaGA8yMTI2MTExMzEzNTA0"
     "M1owSDELMAkGA1UEBhMCQ04xEzARBgNVBAoMClF1YXJuIFRlc3QxFDASBgNVBAsMC05ldCwgQWNjZXNzMQ4wDAYDVQ"
     "QDDAVsaS5zaTBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABNRUkXdFc3FUyCZv3gyKlTkZmfnZW8JnJybf78cTtm+h"
     "eRXTGNdv1jWdZC7k2fueO54RnkLF1vSUaER3auKW7UajUzBRMB0GA1UdDgQWBBRZntExfeMyrRCrHIG8pWWpsVGcOD"
     "AfBgNVHSMEGDAWgBRZntExfeMyrRCrHIG8pWWpsVGcODAPBgNVHRMBAf8EBTADAQH/MAoGCCqGSM49BAMCA0cAMEQC"
     "IHlHrbK1wY2Di/minzmErAeuHQGy+8elCIV/TJid6dNFAiBOEz7rbyUA/Sf7LKorxqq1lbmtXKBG2nbIOubtF+OnCA"
     "==",
     "li.si", "80", "C=CN, O=Quarn Test, OU=\"Net, Access\", CN=li.si"},
};

std::vector<std::uint8_t> der_of(const KnownCertificate& certificate) {
    const std::string text = certificate.base64;
    std::vector<std::uint8_t> der(text.size());
    const int decoded =
        cutil_base64_decode(text.c_str(), -1, der.data(), static_cast<int>(der.size()));
    // The decoder counts each "=" as a byte; padding is not part of the certificate.
    const std::size_t padding = text.size() - (text.find_last_not_of('=') + 1);
    der.resize(static_cast<std::size_t>(decoded) - padding);
    return der;
}

namespace {

using Document = std::unique_ptr<XmlNode, XmlDocumentDeleter>;

// The text handed out, imported, and its block released as the agent does.
Document take_reply(char* text) {
    Document document(text != nullptr ? cutil_xml_import_fre(text) : nullptr);
    if (text != nullptr) os::global_free(text);
    return document;
}

std::string field(const XmlNode* document, int index, const char* name) {
    const char* text = cutil_xml_get(document, "TARN/CertInfo[%d]/%s", index, name);
    return text != nullptr ? text : "(missing)";
}

}  // namespace

CertModule::CertModule() : config_(fake_path(sibling::kConfigMgrDll)) {
    module_ = os::module_load((program_dir() + sibling::kCheckCertDll).c_str());
    EXPECT_NE(nullptr, module_);
}

CertModule::~CertModule() = default;  // the module stays, as the agent keeps it

void CertModule::configure_pkcs11(const std::string& module_path) {
    config_.reset();
    if (module_path.empty()) return;
    const auto write = reinterpret_cast<sibling::TarnWriteConfigFunction>(
        config_.symbol(sibling::kTarnWriteConfigName));
    ASSERT_NE(nullptr, write);
    ASSERT_NE(0, write("Pkcs11Module", module_path.c_str()));
}

int CertModule::list(std::vector<ListedCertificate>* rows) const {
    rows->clear();
    const auto call = reinterpret_cast<sibling::GetAllUsbKeyCertFunction>(
        os::module_symbol(module_, sibling::kGetAllUsbKeyCertName));
    if (call == nullptr) return -1;
    char* text = nullptr;
    const int result = call(0, &text);
    const Document reply = take_reply(text);
    const int count = reply ? cutil_xml_count(reply.get(), "TARN/CertInfo") : 0;
    for (int i = 1; i <= count; ++i) {
        rows->push_back({field(reply.get(), i, "IssueTo"), field(reply.get(), i, "CertSerial"),
                         field(reply.get(), i, "Subject"), field(reply.get(), i, "CertBase64")});
    }
    if (result != 0) {
        EXPECT_TRUE(reply) << "a success without a document";
    }
    return result;
}

int CertModule::serial(const char* argument, std::string* serial) const {
    const auto call = reinterpret_cast<sibling::GetUsbKeySerialNumFunction>(
        os::module_symbol(module_, sibling::kGetUsbKeySerialNumName));
    if (call == nullptr) return -1;
    char* text = nullptr;
    const int result = call(argument, &text);
    const Document reply = take_reply(text);
    const char* number = reply ? cutil_xml_get(reply.get(), "TARN/SerialNum") : nullptr;
    *serial = number != nullptr ? number : "";
    return result;
}

}  // namespace quarn::test
