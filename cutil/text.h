// Small text routines used wherever texts are searched or appended.
#pragma once

#include <cstddef>

// First occurrence of `needle` in `text`, ASCII letters compared folded to
// lower case; null when there is none, when either argument is null, or when
// `needle` is empty.
const char* cutil_str_istr(const char* text, const char* needle);

// 1 when the two texts are equal with ASCII letters folded to lower case
// (other bytes, GBK included, compared as they are); 0 otherwise or when
// either is null.
int cutil_str_iequal(const char* text, const char* other);
// The same over at most the first `count` characters.
int cutil_str_niequal(const char* text, const char* other, std::size_t count);

// Appends `text` to the zero-terminated `destination` of `size` bytes, cut to
// what leaves room for the terminator; a null text changes nothing.
char* cutil_str_append(const char* text, char* destination, std::size_t size);
