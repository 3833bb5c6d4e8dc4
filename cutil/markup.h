// Texts placed into markup built by hand (request documents, pages): "&",
// "<", ">" and '"' become references, exactly those the document parser
// turns back, so the text arrives as it was sent.
#pragma once

#include <string>

std::string cutil_markup_escape(const std::string& text);
