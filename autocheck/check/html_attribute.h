// Texts placed in HTML attribute values. The repair page quotes its values
// with single quotes and the server's texts may hold any character, so each
// of & < > " ' is written as a character reference; the browser decodes them
// again before it posts the form.
#pragma once

#include <cstddef>

// Length of `text` once escaped (0 for null).
std::size_t html_attribute_length(const char* text);

// A new MemAlloc_fre block with `text` escaped ("&amp;", "&lt;", "&gt;",
// "&quot;", "&#39;"), every other byte kept: GBK trail bytes never take
// these values. Null when memory ran out; null `text` counts as "".
char* html_attribute_escape(const char* text);
