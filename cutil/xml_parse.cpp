// The parser: reads tags one after the other and builds the tree with an
// explicit walk (parent links), so nesting depth costs no stack.
#include <cstring>

#include "cutil/memory.h"
#include "cutil/trace.h"
#include "cutil/xml_internal.h"

namespace cutil::xml {
namespace {

struct Tag {
    const char* start = nullptr;   // its "<" (before a skipped declaration or comment)
    const char* resume = nullptr;  // just after its ">"
    XmlNode* node = nullptr;
    bool self_closing = false;
    bool closing = false;
};

enum class TagRead { kNone, kTag, kNoMemory };

// Skips one "<?...?>" or "<!--...-->" at `at` (when it begins with `opener`):
// *at moves to the next "<" after the closer. False when either is missing.
bool skip_one(const char** at, const char* opener, const char* closer) {
    const std::size_t opener_length = std::strlen(opener);
    if (std::strncmp(*at, opener, opener_length) != 0) return true;
    const char* end = std::strstr(*at + opener_length, closer);
    if (end == nullptr) return false;
    const char* next = std::strchr(end + std::strlen(closer), '<');
    if (next == nullptr) return false;
    *at = next;
    return true;
}

// Attributes between the end of the name and ">": name="value" pairs, the
// value running to the next double quote (wherever it lies), at most 32.
bool read_attributes(XmlNode* node, const char* at, const char* close) {
    while (node->attribute_count < kXmlMaxAttributes && at < close) {
        const char* pair = nullptr;
        for (const char* p = at; p < close; ++p) {
            p = static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(close - p)));
            if (p == nullptr) break;
            if (p[1] == '"') {
                pair = p;
                break;
            }
        }
        if (pair == nullptr) return true;
        const char* value = pair + 2;
        const char* value_end = std::strchr(value, '"');
        if (value_end == nullptr) return true;
        XmlAttribute& attribute = node->attributes[node->attribute_count];
        attribute.name = store_string(at, static_cast<std::size_t>(pair - at));
        attribute.value = store_string(value, static_cast<std::size_t>(value_end - value));
        if (attribute.name == nullptr || attribute.value == nullptr) {
            release(attribute.name);
            release(attribute.value);
            attribute = XmlAttribute{nullptr, nullptr};
            return false;
        }
        ++node->attribute_count;
        at = value_end + 1;
    }
    return true;
}

TagRead read_tag(const char* at, Tag* tag, bool closing_needs_node) {
    at = std::strchr(at, '<');
    if (at == nullptr) return TagRead::kNone;
    tag->start = at;
    if (!skip_one(&at, "<?", "?>")) return TagRead::kNone;
    if (!skip_one(&at, "<!--", "-->")) return TagRead::kNone;
    const char* close = std::strchr(at + 1, '>');
    if (close == nullptr) return TagRead::kNone;
    tag->resume = close + 1;
    tag->self_closing = close[-1] == '/';

    const char* name = at + 1;
    const auto* space =
        static_cast<const char*>(std::memchr(name, ' ', static_cast<std::size_t>(close - name)));
    const char* name_end = space != nullptr ? space : close;
    std::size_t name_length = static_cast<std::size_t>(name_end - name);
    if (name_length > 0 && name[name_length - 1] == '/') --name_length;
    // A closing tag is one whose stored name would begin with "/": no
    // reference decodes to "/", so the first byte after the white space
    // decides. Only the document's first tag needs a node when closing.
    std::size_t first = 0;
    while (first < name_length && is_space(name[first])) ++first;
    tag->closing = first < name_length && name[first] == '/';
    tag->node = nullptr;
    if (tag->closing && !closing_needs_node) return TagRead::kTag;
    tag->node = new_node(name, name_length);
    if (tag->node == nullptr) return TagRead::kNoMemory;
    if (!tag->closing && !read_attributes(tag->node, name_end, close)) {
        release_tree(tag->node);
        return TagRead::kNoMemory;
    }
    return TagRead::kTag;
}

// Builds the document; null when there is no first tag or memory ran out
// (a partial tree is then freed: a caller must not mistake it for the text).
XmlNode* parse(const char* text) {
    if (text == nullptr) return nullptr;
    Tag tag;
    if (read_tag(text, &tag, true) != TagRead::kTag) return nullptr;
    XmlNode* root = tag.node;
    XmlNode* element = root;  // whose content is being read
    XmlNode* last = nullptr;  // element's last child
    int depth = 1;            // element's level
    const char* at = tag.resume;
    for (;;) {
        const TagRead read = read_tag(at, &tag, false);
        if (read == TagRead::kNone) return root;  // text ended early: keep what was read
        if (read == TagRead::kNoMemory) break;
        if (element->text == nullptr) {
            element->text = store_string(at, static_cast<std::size_t>(tag.start - at));
            if (element->text == nullptr) {
                release_tree(tag.node);
                break;
            }
        }
        at = tag.resume;
        if (tag.closing) {
            // Ends the element whatever name it carries.
            if (element == root) return root;
            last = element;
            element = element->parent;
            --depth;
            continue;
        }
        if (depth + 1 > kXmlMaxDepth) {
            LogTrace("cutil_xml_import", kTraceError, kSourceName, __LINE__,
                     "XML文档嵌套超过%d层, 不接受", kXmlMaxDepth);
            release_tree(tag.node);
            break;
        }
        tag.node->parent = element;
        if (last != nullptr) {
            last->next_sibling = tag.node;
        } else {
            element->first_child = tag.node;
        }
        last = tag.node;
        if (!tag.self_closing) {
            element = tag.node;
            last = nullptr;
            ++depth;
        }
    }
    release_tree(root);
    return nullptr;
}

}  // namespace
}  // namespace cutil::xml

XmlNode* cutil_xml_import_fre(const char* text) {
    return cutil::xml::parse(text);
}

XmlNode* cutil_xml_import(const char* text, const char* source, const char* function, int line) {
    XmlNode* root = cutil::xml::parse(text);
    if (root != nullptr) {
        cutil_memory_track(source, reinterpret_cast<const char*>(root) + 1, 1, function, line);
    }
    return root;
}
