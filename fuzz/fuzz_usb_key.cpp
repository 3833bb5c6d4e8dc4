// A token's certificate object is whatever bytes the token holds. The reply
// must always be a document; a certificate that made it in carries exactly
// the bytes it was read from.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cutil/base64.h"
#include "cutil/xml.h"
#include "siblings/QuarnCheckCert/usb_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<os::CertificateBytes> certificates = {
        os::CertificateBytes(data, data + size)};
    const std::string text = usb_key::certificate_list_text(certificates);
    if (text.empty()) std::abort();  // nothing here runs out of memory
    const std::unique_ptr<XmlNode, XmlDocumentDeleter> reply(cutil_xml_import_fre(text.c_str()));
    if (!reply) std::abort();
    const int count = cutil_xml_count(reply.get(), "TARN/CertInfo");
    if (count > 1) std::abort();
    if (count == 1) {
        const char* base64 = cutil_xml_get(reply.get(), "TARN/CertInfo[1]/CertBase64");
        if (base64 == nullptr) std::abort();
        std::string encoded = base64;
        std::vector<std::uint8_t> decoded(encoded.size() + 8);
        const int length = cutil_base64_decode(encoded.c_str(), -1, decoded.data(),
                                               static_cast<int>(decoded.size()));
        const std::size_t padding = encoded.size() - (encoded.find_last_not_of('=') + 1);
        if (length < 0 || static_cast<std::size_t>(length) - padding != size) std::abort();
        if (!std::equal(data, data + size, decoded.begin())) std::abort();
    }
    return 0;
}
