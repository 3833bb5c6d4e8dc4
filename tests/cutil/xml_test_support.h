// Shared by the XML suites: parsing into an owning pointer and exporting to a
// std::string.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"

namespace quarn::test {

inline XmlUntrackedDocument parse_xml(const char* text) {
    return XmlUntrackedDocument(cutil_xml_import_fre(text));
}

// The whole output of cutil_xml_export, sized as callers size it.
inline std::string export_xml(const XmlNode* document) {
    const int size = cutil_xml_export(document, nullptr, 0);
    if (size <= 0) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    const int length = cutil_xml_export(document, &out[0], size);
    EXPECT_EQ(size - 1, length);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// The export without its 38-byte header line.
inline std::string export_body(const XmlNode* document) {
    const std::string all = export_xml(document);
    return all.size() >= 38 ? all.substr(38) : all;
}

}  // namespace quarn::test
