#include "autocheck/request_document.h"

#include <cstdio>

namespace autocheck {

bool append_text(XmlNode* request, const char* element, const char* text) {
    return cutil_xml_add(request, text, "TARN/%s", element) > 0;
}

bool append_int(XmlNode* request, const char* element, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return append_text(request, element, text);
}

}  // namespace autocheck
