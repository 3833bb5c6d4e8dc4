#include "siblings/QuarnAssCommunicate/document_text.h"

#include "siblings/QuarnAssCommunicate/trace_source.h"

namespace communicate {

std::string text_form(const XmlNode* document) {
    const int size = cutil_xml_export(document, nullptr, 0);
    if (size <= 1) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = cutil_xml_export(document, &text[0], size);
    if (written <= 0 || written >= size) return {};
    text.resize(static_cast<std::size_t>(written));
    return text;
}

XmlDocument parse_document(const char* bytes, std::size_t size, const char* function, int line) {
    if (bytes == nullptr) return XmlDocument();
    const std::string text(bytes, size);  // adds the terminator
    return XmlDocument(cutil_xml_import(text.c_str(), kTraceSource, function, line));
}

}  // namespace communicate
