// Request documents for the agent's exports, built with the XML library so
// that any user name or password is carried as text, never as markup.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

namespace quarnctl {

// "<TARN><name>value</name>…</TARN>" in the library's text form; the
// values are GBK.
std::string request_text(std::initializer_list<std::pair<const char*, std::string>> fields);

}  // namespace quarnctl
