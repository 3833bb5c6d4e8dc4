// What the certificate-module tests share: two certificates made for them
// with known fields, the real module loaded from the build, the
// configuration double through which the PKCS#11 module is named, and the
// reply read back as rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/types.h"
#include "tests/fakes/fake_module.h"

namespace quarn::test {

struct KnownCertificate {
    const char* base64;  // DER
    const char* issue_to;
    const char* serial;
    const char* subject;
};
// "张三" (a UTF8String common name) with serial 0A1B2C3D, and one whose
// serial 0x80 carries a sign byte and whose OU holds a comma.
extern const KnownCertificate kKnownCertificates[2];

std::vector<std::uint8_t> der_of(const KnownCertificate& certificate);

struct ListedCertificate {
    std::string issue_to, serial, subject, base64;
};

class CertModule {
  public:
    CertModule();
    ~CertModule();
    // Names the PKCS#11 module in the configuration ("" removes the key).
    void configure_pkcs11(const std::string& module_path);
    // GetAllUsbKeyCert: its result and the CertInfo rows of its reply.
    int list(std::vector<ListedCertificate>* rows) const;
    // GetUsbKeySerialNum with `argument`: its result and TARN/SerialNum.
    int serial(const char* argument, std::string* serial) const;

  private:
    FakeModule config_;
    os::Handle module_ = nullptr;
};

}  // namespace quarn::test
