// The walk that writes the text form, shared by the buffer and file exports.
// A sink receives whole pieces (an indentation, "<name", an attribute, ">",
// a text, a line end, "</name>") so a short buffer is cut between pieces.
#pragma once

#include <initializer_list>

#include "cutil/xml_internal.h"

namespace cutil::xml {

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";
static_assert(sizeof kHeader - 1 == 38, "the header line is 38 bytes");

// One part of a piece: a fixed text (its length known), or a stored string
// to escape.
struct Part {
    const char* text;
    std::size_t fixed_length;
    bool escape;
    Escape mode;
};

template <std::size_t N>
Part fixed(const char (&text)[N]) {
    return {text, N - 1, false, Escape::kQuotes};
}
inline Part escaped(const char* text, Escape mode = Escape::kQuotes) {
    return {text != nullptr ? text : "", 0, true, mode};
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

// The node written after `node`: its first child, else the next sibling of it
// or of one of its nearest ancestors; null when none is that close.
inline const XmlNode* following(const XmlNode* node) {
    if (node->first_child != nullptr) return node->first_child;
    for (int level = 0; node != nullptr && level < 4; ++level, node = node->parent) {
        if (node->next_sibling != nullptr) return node->next_sibling;
    }
    return nullptr;
}

// A large document lies all over the heap and the record spans several cache
// lines (its links sit behind the attribute slots): without a look ahead
// every node costs a few memory round trips one after the other. The lines of
// the node after next and the strings of the next one are requested early.
// Always inlined: the compiler takes a prefetching function for one without
// effects and drops calls to it.
[[gnu::always_inline]] inline void look_ahead(const XmlNode* node) {
    const XmlNode* next = following(node);
    if (next == nullptr) return;
    __builtin_prefetch(next->name);
    if (next->text != nullptr) __builtin_prefetch(next->text);
    const XmlNode* after = following(next);
    if (after == nullptr) return;
    __builtin_prefetch(after);
    __builtin_prefetch(&after->next_sibling);
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
        look_ahead(node);
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
