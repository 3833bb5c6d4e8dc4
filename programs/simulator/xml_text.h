// XML text built by hand for the server's replies and pages: escaping, and
// the element form of a JSON value (objects become child elements in their
// order, arrays repeat the element, true/false become "Yes"/"No").
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace simulator {

using Json = nlohmann::ordered_json;

// Appends <name>…</name> for `value` (texts already GBK).
void append_element(const std::string& name, const Json& value, std::string* out);
// Appends the children of an object value (nothing for any other value).
void append_children(const Json& value, std::string* out);

}  // namespace simulator
