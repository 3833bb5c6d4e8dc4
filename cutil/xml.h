// The XML document of the agent: a tree of XmlNode records, queried and
// edited through printf-style slash paths ("TARN/UserInfo[%d]/UserName").
// Texts are GBK bytes; only the ASCII characters < > & " / = ? ! [ ] and
// white space are special. docs/xml.md records the choices made here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "os/compiler.h"

constexpr int kXmlMaxAttributes = 32;
// Elements nest at most this deep (the root is level 1). The agent's
// documents need a handful of levels; a deeper text is refused whole by the
// parser (traced), so that no peer can make a file or a tree of it.
constexpr int kXmlMaxDepth = 256;

struct XmlAttribute {
    char* name;
    char* value;
};

// One element. The record crosses module boundaries (communication module,
// DoSecurityCheck, the notify routine): the field order and types are fixed.
struct XmlNode {
    char* name;                    // element name, never null
    char* text;                    // null: no text; "" is a text
    std::int32_t attribute_count;  // used slots of `attributes`, 0 to 32
    XmlAttribute attributes[kXmlMaxAttributes];
    XmlNode* next_sibling;  // next child of the same parent
    XmlNode* first_child;
    XmlNode* parent;  // null for the root
};
static_assert(sizeof(void*) != 4 || sizeof(XmlNode) == 280, "the i386 record is 280 bytes");

// --- document life ----------------------------------------------------------
// The tracked forms register the document with the allocation table under the
// caller's source, function and line (the root's address plus one, size 1).

// A new document with the root "TARN" and no text; null when out of memory.
XmlNode* cutil_xml_create(const char* source, const char* function, int line);
// Parses `text`; null when it holds no complete tag (or memory ran out). A
// truncated text gives the part that was read.
XmlNode* cutil_xml_import(const char* text, const char* source, const char* function, int line);
XmlNode* cutil_xml_import_fre(const char* text);
// Reads and parses a file (CR LF read as LF); null when it is missing, empty
// or unreadable.
XmlNode* cutil_xml_import_from_file(const char* path, const char* source, const char* function,
                                    int line);
XmlNode* cutil_xml_import_from_file_fre(const char* path);
// Frees the whole tree and unregisters it; null is allowed.
void cutil_xml_free(XmlNode* document);
// Frees `node`, its subtree and every sibling after it; nothing is
// unregistered.
void cutil_xml_free_fre(XmlNode* node);

// Writes the header line, the text form of `document` and its following
// siblings, and CR LF. Without a buffer (or size <= 0): the size to allocate,
// terminator included. With a buffer: the length written when it fits,
// otherwise the whole pieces that fit and the full length plus 1. 0 for a
// null document; -1 when the length does not fit an int.
int cutil_xml_export(const XmlNode* document, char* buffer, int size);
// As cutil_xml_export, to a file (its directories created first) or, without
// a path, to the standard error stream; double quotes in texts are escaped
// here. 0, or -1 when the file cannot be created or the document is null.
int cutil_xml_export_to_file(const char* path, const XmlNode* document);

// --- queries and edits ------------------------------------------------------
// Each path is formatted (at most 1023 characters), a leading "/" dropped and
// the rest resolved from `start`, whose own name is the first step.

// The node's text, pointing into the tree (never freed by the caller); null
// when the path does not resolve or the node has no text.
const char* cutil_xml_get(const XmlNode* start, const char* path_format, ...) QUARN_PRINTF(2, 3);
// The text's leading decimal number when it begins with a digit or "-";
// otherwise, or when absent, -1.
int cutil_xml_get_int(const XmlNode* start, const char* path_format, ...) QUARN_PRINTF(2, 3);
// How many of path[1], path[2], ... resolve in a row; 0 when none.
int cutil_xml_count(const XmlNode* start, const char* path_format, ...) QUARN_PRINTF(2, 3);
XmlNode* cutil_xml_find(XmlNode* start, const char* path_format, ...) QUARN_PRINTF(2, 3);
// Appends a node named by the last step under the node the rest resolves to;
// returns its 1-based ordinal among same-named siblings, -1 when the parent
// does not resolve (or memory ran out). `text` may be null.
int cutil_xml_add(XmlNode* start, const char* text, const char* path_format, ...)
    QUARN_PRINTF(3, 4);
// Replaces the text of an existing node (0), or adds the node as
// cutil_xml_add does. `text` may point into the node's own text.
int cutil_xml_set(XmlNode* start, const char* text, const char* path_format, ...)
    QUARN_PRINTF(3, 4);
// Unlinks and frees the node with its subtree: 0; -1 when the path does not
// resolve or names `start` itself.
int cutil_xml_delete(XmlNode* start, const char* path_format, ...) QUARN_PRINTF(2, 3);
// Appends deep copies of the children of `source` to `destination`, in order;
// returns `destination` (null, with `destination` unchanged, when memory ran
// out). `destination` may lie inside `source`: the children as they were
// before the call are copied.
XmlNode* cutil_xml_copy_children(XmlNode* destination, const XmlNode* source);

// --- ownership for C++ callers ----------------------------------------------

struct XmlDocumentDeleter {
    void operator()(XmlNode* document) const { cutil_xml_free(document); }
};
// For documents of the untracked forms (no registration to undo).
struct XmlUntrackedDeleter {
    void operator()(XmlNode* document) const { cutil_xml_free_fre(document); }
};
using XmlDocument = std::unique_ptr<XmlNode, XmlDocumentDeleter>;
using XmlUntrackedDocument = std::unique_ptr<XmlNode, XmlUntrackedDeleter>;
