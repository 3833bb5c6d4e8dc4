// Nodes and strings of a document, all from the process heap.
#include <cstring>

#include "cutil/memory.h"
#include "cutil/xml_internal.h"
#include "cutil/xml_testing.h"

namespace cutil::xml {
namespace {

XmlAllocationFailure g_failure_hook = nullptr;

void release_fields(XmlNode* node) {
    for (int i = 0; i < node->attribute_count && i < kXmlMaxAttributes; ++i) {
        release(node->attributes[i].name);
        release(node->attributes[i].value);
    }
    release(node->name);
    release(node->text);
}

}  // namespace

void* allocate(std::size_t size) {
    if (g_failure_hook != nullptr && g_failure_hook(size)) return nullptr;
    return MemAlloc_fre(size);
}

void release(void* block) {
    if (block != nullptr) MemFree_fre(block);
}

XmlNode* new_node(const char* name, std::size_t name_length) {
    auto* node = static_cast<XmlNode*>(allocate(sizeof(XmlNode)));
    if (node == nullptr) return nullptr;
    node->name = store_string(name, name_length);
    if (node->name == nullptr) {
        release(node);
        return nullptr;
    }
    return node;
}

// Children are released before their node, each child list before the
// siblings that follow: the children of the node at hand are spliced in
// front of it, so the walk needs neither recursion nor parent links.
void release_tree(XmlNode* node) {
    while (node != nullptr) {
        if (XmlNode* child = node->first_child; child != nullptr) {
            XmlNode* last = child;
            while (last->next_sibling != nullptr) last = last->next_sibling;
            last->next_sibling = node;
            node->first_child = nullptr;
            node = child;
            continue;
        }
        XmlNode* next = node->next_sibling;
        release_fields(node);
        release(node);
        node = next;
    }
}

}  // namespace cutil::xml

void cutil_xml_testing_fail_allocations(XmlAllocationFailure hook) {
    cutil::xml::g_failure_hook = hook;
}

void cutil_xml_free_fre(XmlNode* node) {
    cutil::xml::release_tree(node);
}
