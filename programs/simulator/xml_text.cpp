#include "programs/simulator/xml_text.h"

#include "cutil/markup.h"

namespace simulator {

void append_children(const Json& value, std::string* out) {
    if (!value.is_object()) return;
    for (const auto& [key, child] : value.items()) append_element(key, child, out);
}

void append_element(const std::string& name, const Json& value, std::string* out) {
    if (value.is_array()) {
        for (const auto& each : value) append_element(name, each, out);
        return;
    }
    *out += '<' + name + '>';
    if (value.is_object()) {
        append_children(value, out);
    } else if (value.is_string()) {
        *out += cutil_markup_escape(value.get<std::string>());
    } else if (value.is_boolean()) {
        *out += value.get<bool>() ? "Yes" : "No";
    } else if (!value.is_null()) {
        *out += value.dump();
    }
    *out += "</" + name + '>';
}

}  // namespace simulator
