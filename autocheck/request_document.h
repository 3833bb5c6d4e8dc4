// Request documents to the server: a new "TARN" document and its elements,
// appended in the order the server reads them.
#pragma once

#include "cutil/xml.h"

namespace autocheck {

// A new document with the root "TARN", registered under the caller's source,
// function and line; null when memory ran out.
inline XmlDocument new_document(const char* source, const char* function, int line) {
    return XmlDocument(cutil_xml_create(source, function, line));
}

// Appends "TARN/<element>" with `text`; false when it cannot be added.
bool append_text(XmlNode* request, const char* element, const char* text);
// The same with the decimal text of `value`.
bool append_int(XmlNode* request, const char* element, int value);

}  // namespace autocheck
