// The URL-safe Base64 form the agent puts credentials and page addresses in:
// standard Base64 with "+" written ",", "=" written ":" and "/" written ".".
#pragma once

#include <string>

namespace simulator {

std::string url_base64_encode(const std::string& text);
// The decoded bytes; empty for an empty or undecodable text.
std::string url_base64_decode(const std::string& text);

}  // namespace simulator
