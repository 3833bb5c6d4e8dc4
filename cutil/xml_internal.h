// Pieces shared by the XML library's files; not for callers of cutil/xml.h.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "cutil/xml.h"

namespace cutil::xml {

constexpr char kSourceName[] = "Cutil_Xml.cpp";

// --- blocks (xml_memory.cpp) -------------------------------------------------
// Every node and string of a document comes from here (MemAlloc_fre /
// MemFree_fre), so tests can make any allocation fail.
void* allocate(std::size_t size);
void release(void* block);
// A new node with the stored name (normalised), no text; null when out of
// memory.
XmlNode* new_node(const char* name, std::size_t name_length);
// Frees `node`, its subtree and the siblings after it, without recursion.
void release_tree(XmlNode* node);

// --- stored strings (xml_strings.cpp) -----------------------------------------
// Decodes &lt; &gt; &amp; &quot; as the repeated replace-from-the-start passes
// do (one kind after the other), in one pass. Writes at most `length` bytes
// to `out` (which may equal `in`) and returns the decoded length.
std::size_t decode_references(const char* in, std::size_t length, char* out);
// Decodes, then strips ASCII white space at the end and the start, in place;
// returns the new length. `text` need not be terminated; the result is.
std::size_t normalise_in_place(char* text, std::size_t length);
// A normalised copy of `length` bytes; null when out of memory.
char* store_string(const char* text, std::size_t length);
inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// How a string is escaped for output: names, attributes and file texts turn
// double quotes into &quot;, texts of cutil_xml_export keep them.
enum class Escape { kQuotes, kKeepQuotes };
// An ampersand followed by "lt;", "gt;", "amp;" or "quot;" (any case) is
// written as it is.
bool begins_reference(const char* ampersand);
std::size_t escaped_length(const char* text, Escape mode);
// Writes the escaped form (escaped_length bytes, no terminator).
void write_escaped(const char* text, Escape mode, char* out);
// Writes the escaped form at `out` in one scan, never at or past `limit`;
// returns the end of what was written, or null when it does not fit (the
// bytes from `out` to `limit` are then undefined).
char* write_escaped_within(const char* text, Escape mode, char* out, const char* limit);

// --- paths (xml_path.cpp) -----------------------------------------------------
constexpr std::size_t kPathBufferSize = 1024;
constexpr std::size_t kMaxSteps = 51;

// Formats into a 1024-byte buffer, cut at 1023 characters.
void format_path(char (&out)[kPathBufferSize], const char* format, va_list arguments)
    QUARN_PRINTF(2, 0);

// Declares `path` and formats into it the path argument of the enclosing
// variadic operation, whose last named parameter is `path_format`.
#define CUTIL_XML_FORMAT_PATH(path)                                   \
    char path[::cutil::xml::kPathBufferSize];                         \
    {                                                                 \
        va_list path_arguments;                                       \
        va_start(path_arguments, path_format);                        \
        ::cutil::xml::format_path(path, path_format, path_arguments); \
        va_end(path_arguments);                                       \
    }

// One step of a parsed path: a name and its 1-based index.
struct Step {
    const char* name;
    std::size_t name_length;
    std::int64_t index;   // the digits after "[" (saturated), below 1 read as 1
    const char* bracket;  // the first "[" of the step, null when none
    std::size_t length;   // the whole step
};
struct ParsedPath {
    char text[kPathBufferSize];  // the normalised path the steps point into
    Step steps[kMaxSteps];
    std::size_t count;
};
// Drops a leading "/", normalises the rest and splits it into steps.
void parse_path(const char* path, ParsedPath* out);
// The node a parsed path names from `start`, using steps [0, count).
XmlNode* resolve_steps(const XmlNode* start, const Step* steps, std::size_t count);
XmlNode* resolve(const XmlNode* start, const char* path);

// --- document edits (xml_tree.cpp) --------------------------------------------
// Appends `child` after the last child of `parent`; returns how many children
// before it carry its name.
int append_child(XmlNode* parent, XmlNode* child);
int add_formatted(XmlNode* start, const char* text, const char* path);

}  // namespace cutil::xml
