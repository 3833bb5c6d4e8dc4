// Documents to bytes and back: the text form cutil_xml_export writes, and
// a parsed document from received bytes (which need not end in a NUL).
#pragma once

#include <cstddef>
#include <string>

#include "cutil/xml.h"

namespace communicate {

// The text form of `document` (header line included, no terminator); empty
// for a null document or when it cannot be written.
std::string text_form(const XmlNode* document);
// The document that `size` bytes hold; null when they hold none. A NUL
// inside the bytes ends the text, as it would for any reader of C texts.
XmlDocument parse_document(const char* bytes, std::size_t size, const char* function, int line);

}  // namespace communicate
