// libFuzzer target: any text through cutil_xml_import_fre and back to the
// heap, with only the structural checks a walk can make in passing (no
// export, no re-import), so it runs many times faster than fuzz_xml_import
// and reaches deep into the parser's corner cases.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cutil/xml.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Every node has a name, at most 32 filled attribute slots and a parent link
// that names the node whose child list holds it. Walks with parent links,
// like the library, so a deep input costs no stack here either.
void check_tree(const XmlNode* root) {
    if (root->parent != nullptr || root->next_sibling != nullptr) broken("root has links");
    const XmlNode* node = root;
    while (node != nullptr) {
        if (node->name == nullptr) broken("node without a name");
        if (node->attribute_count < 0 || node->attribute_count > kXmlMaxAttributes) {
            broken("attribute count out of range");
        }
        for (int i = 0; i < node->attribute_count; ++i) {
            if (node->attributes[i].name == nullptr || node->attributes[i].value == nullptr) {
                broken("attribute without a name or value");
            }
        }
        if (node->first_child != nullptr) {
            if (node->first_child->parent != node) broken("child with a wrong parent");
            node = node->first_child;
            continue;
        }
        while (node != root && node->next_sibling == nullptr) node = node->parent;
        if (node == root) break;
        if (node->next_sibling->parent != node->parent) broken("sibling with a wrong parent");
        node = node->next_sibling;
    }
}

}  // namespace

// Every input frees thousands of node blocks: with the default 256 MB
// quarantine the allocator keeps faulting in fresh pages and the run spends
// most of its time clearing them. 16 MB still holds every block an input
// frees, so a use after free within one input is still caught.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    XmlUntrackedDocument document(cutil_xml_import_fre(text.c_str()));
    if (document != nullptr) check_tree(document.get());
    return 0;
}
