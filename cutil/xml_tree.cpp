// Document life and the edits that build a tree: create, free, add, set and
// copying children.
#include <cstring>

#include "cutil/memory.h"
#include "cutil/xml_internal.h"

namespace cutil::xml {
namespace {

const char* tracked_address(const XmlNode* root) {
    return reinterpret_cast<const char*>(root) + 1;
}

// A copy of one node's name, text and attributes, without links.
XmlNode* clone_fields(const XmlNode* source) {
    const char* name = source->name != nullptr ? source->name : "";
    XmlNode* copy = new_node(name, std::strlen(name));
    if (copy == nullptr) return nullptr;
    bool ok = true;
    if (source->text != nullptr) {
        copy->text = store_string(source->text, std::strlen(source->text));
        ok = copy->text != nullptr;
    }
    const int count =
        source->attribute_count < kXmlMaxAttributes ? source->attribute_count : kXmlMaxAttributes;
    for (int i = 0; ok && i < count; ++i) {
        const XmlAttribute& from = source->attributes[i];
        XmlAttribute& to = copy->attributes[i];
        copy->attribute_count = i + 1;  // what release_tree frees if a copy fails
        to.name = store_string(from.name, from.name != nullptr ? std::strlen(from.name) : 0);
        to.value = store_string(from.value, from.value != nullptr ? std::strlen(from.value) : 0);
        ok = to.name != nullptr && to.value != nullptr;
    }
    if (!ok) {
        release_tree(copy);
        return nullptr;
    }
    return copy;
}

// Deep copies of `first` and its following siblings, as a detached list whose
// members name `parent` as their parent. Walks the source without recursion,
// climbing by parent links; null when memory ran out (nothing leaks).
XmlNode* copy_forest(const XmlNode* first, XmlNode* parent) {
    XmlNode* result = nullptr;
    XmlNode* copy_parent = parent;
    XmlNode* last = nullptr;  // the last copy made in the current list
    const XmlNode* source = first;
    std::size_t depth = 0;
    for (;;) {
        XmlNode* copy = clone_fields(source);
        if (copy == nullptr) {
            release_tree(result);
            return nullptr;
        }
        copy->parent = copy_parent;
        if (last != nullptr) {
            last->next_sibling = copy;
        } else if (depth == 0) {
            result = copy;
        } else {
            copy_parent->first_child = copy;
        }
        last = copy;
        if (source->first_child != nullptr) {
            source = source->first_child;
            copy_parent = copy;
            last = nullptr;
            ++depth;
            continue;
        }
        for (;;) {
            if (source->next_sibling != nullptr) {
                source = source->next_sibling;
                break;
            }
            if (depth == 0) return result;
            --depth;
            source = source->parent;
            last = copy_parent;
            copy_parent = copy_parent->parent;
        }
    }
}

}  // namespace

int append_child(XmlNode* parent, XmlNode* child) {
    int same_named = 0;
    XmlNode** link = &parent->first_child;
    while (*link != nullptr) {
        if (std::strcmp((*link)->name, child->name) == 0) ++same_named;
        link = &(*link)->next_sibling;
    }
    *link = child;
    child->parent = parent;
    return same_named;
}

int add_formatted(XmlNode* start, const char* text, const char* path) {
    if (start == nullptr) return -1;
    char copy[kPathBufferSize];
    std::size_t length = std::strlen(path);
    if (length >= kPathBufferSize) length = kPathBufferSize - 1;
    std::memcpy(copy, path, length);
    length = normalise_in_place(copy, length);

    char* slash = nullptr;
    for (std::size_t i = length; i > 0; --i) {
        if (copy[i - 1] == '/') {
            slash = copy + i - 1;
            break;
        }
    }
    if (slash == nullptr) return -1;
    *slash = '\0';
    const char* name = slash + 1;

    XmlNode* parent = resolve(start, copy);
    if (parent == nullptr) return -1;
    XmlNode* node = new_node(name, std::strlen(name));
    if (node == nullptr) return -1;
    if (text != nullptr) {
        node->text = store_string(text, std::strlen(text));
        if (node->text == nullptr) {
            release_tree(node);
            return -1;
        }
    }
    return append_child(parent, node) + 1;
}

}  // namespace cutil::xml

using namespace cutil::xml;

XmlNode* cutil_xml_create(const char* source, const char* function, int line) {
    XmlNode* root = new_node("TARN", 4);
    if (root != nullptr) cutil_memory_track(source, tracked_address(root), 1, function, line);
    return root;
}

void cutil_xml_free(XmlNode* document) {
    if (document == nullptr) return;
    // Unregistered before release: a freed address may be handed out and
    // registered again by another thread at once.
    cutil_memory_untrack(tracked_address(document));
    release_tree(document);
}

int cutil_xml_add(XmlNode* start, const char* text, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    return add_formatted(start, text, path);
}

int cutil_xml_set(XmlNode* start, const char* text, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    XmlNode* node = resolve(start, path);
    if (node == nullptr) return add_formatted(start, text, path);
    // Copy before releasing: `text` may be the node's own text.
    char* copy = nullptr;
    if (text != nullptr) {
        copy = store_string(text, std::strlen(text));
        if (copy == nullptr) return -1;
    }
    release(node->text);
    node->text = copy;
    return 0;
}

XmlNode* cutil_xml_copy_children(XmlNode* destination, const XmlNode* source) {
    if (source == nullptr || source->first_child == nullptr) return destination;
    if (destination == nullptr) return nullptr;
    // The copies are made before any is attached, so a destination inside the
    // source receives the children the source had when the call began.
    XmlNode* copies = copy_forest(source->first_child, destination);
    if (copies == nullptr) return nullptr;
    XmlNode** link = &destination->first_child;
    while (*link != nullptr) link = &(*link)->next_sibling;
    *link = copies;
    return destination;
}
