// The walk that writes the text form, shared by the buffer and file exports.
// A sink receives whole pieces (an indentation, "<name", an attribute, ">",
// a text, a line end, "</name>") so a short buffer is cut between pieces.
#pragma once

#include <initializer_list>

#include "cutil/xml_internal.h"

namespace cutil::xml {

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
static_assert(sizeof kHeader - 1 == 38, "the header line is 38 bytes");

// One part of a piece: a fixed text, or a stored string to escape.
struct Part {
    const char* text;
    bool escape;
    Escape mode;
};

inline Part fixed(const char* text) {
    return {text, false, Escape::kQuotes};
}
inline Part escaped(const char* text, Escape mode = Escape::kQuotes) {
    return {text != nullptr ? text : "", true, mode};
}

template <class Sink>
void write_start_tag(const XmlNode* node, std::size_t depth, Escape text_mode, Sink& sink) {
    if (depth > 0) sink.tabs(depth);
    sink.piece({fixed("<"), escaped(node->name)});
    const int count =
        node->attribute_count < kXmlMaxAttributes ? node->attribute_count : kXmlMaxAttributes;
    for (int i = 0; i < count; ++i) {
        const XmlAttribute& attribute = node->attributes[i];
        sink.piece({fixed(" "), escaped(attribute.name), fixed("=\""), escaped(attribute.value),
                    fixed("\"")});
    }
    sink.piece({fixed(">")});
    if (node->text != nullptr) sink.piece({escaped(node->text, text_mode)});
}

template <class Sink>
void write_end_tag(const XmlNode* node, std::size_t depth, bool had_children, Sink& sink) {
    if (had_children && depth > 0) sink.tabs(depth);
    sink.piece({fixed("</"), escaped(node->name), fixed(">")});
}

// Writes `first` and every sibling after it at depth 0, each followed by CR
// LF, after the header line. Climbs by parent links instead of recursing, so
// any depth is written in constant stack.
template <class Sink>
void write_document(const XmlNode* first, Escape text_mode, Sink& sink) {
    sink.piece({fixed(kHeader)});
    const XmlNode* node = first;
    std::size_t depth = 0;
    while (node != nullptr) {
        write_start_tag(node, depth, text_mode, sink);
        if (node->first_child != nullptr) {
            sink.piece({fixed("\r\n")});
            node = node->first_child;
            ++depth;
            continue;
        }
        write_end_tag(node, depth, false, sink);
        sink.piece({fixed("\r\n")});
        for (;;) {
            if (node->next_sibling != nullptr) {
                node = node->next_sibling;
                break;
            }
            if (depth == 0) return;
            --depth;
            node = node->parent;
            write_end_tag(node, depth, true, sink);
            sink.piece({fixed("\r\n")});
        }
    }
}

}  // namespace cutil::xml
