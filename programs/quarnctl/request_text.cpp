#include "programs/quarnctl/request_text.h"

#include <vector>

#include "cutil/xml.h"

namespace quarnctl {

std::string request_text(std::initializer_list<std::pair<const char*, std::string>> fields) {
    XmlNode* document = cutil_xml_create("quarnctl", __func__, __LINE__);
    if (document == nullptr) return {};
    for (const auto& [name, value] : fields) {
        cutil_xml_add(document, value.c_str(), "TARN/%s", name);
    }
    std::string text;
    const int size = cutil_xml_export(document, nullptr, 0);
    if (size > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(size));
        if (cutil_xml_export(document, buffer.data(), size) > 0) text = buffer.data();
    }
    cutil_xml_free(document);
    return text;
}

}  // namespace quarnctl
