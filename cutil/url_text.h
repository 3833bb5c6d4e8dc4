// Texts placed into URLs and texts made from them for logs: a value that
// must stay one query value, and a URL whose secrets a log must not carry.
#pragma once

#include <cstddef>
#include <string>

// `value` as one query value: every byte other than ASCII letters, digits and
// "-._~" becomes "%XX", so "&", "#" and "=" cannot start another parameter.
std::string cutil_url_escape(const char* value);
// The same into `out` of `size` bytes, zero-terminated; false (out empty)
// when the escaped value does not fit whole. No allocation: usable under a
// fault guard.
bool cutil_url_escape_to(const char* value, char* out, std::size_t size);

// `text` (a URL, or a document or log line that holds one) with the value of
// every query parameter whose name ends in "password", "pwd" or "passwd"
// (ASCII letters in any case) written "***". The value ends at "&", "#", a
// blank, a quote, "<" or a line break. A null text gives "".
std::string cutil_url_mask_secrets(const char* text);

// True when `address` is an "http://" or "https://" address (scheme in any
// case) with a host, and holds no blank, quote or control character: the only
// addresses a server may ask us to open.
bool cutil_url_is_web(const char* address);
