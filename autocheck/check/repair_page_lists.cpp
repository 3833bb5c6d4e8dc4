#include "autocheck/check/repair_page_lists.h"

#include <cstring>

#include "autocheck/trace_sources.h"
#include "cutil/memory.h"
#include "cutil/trace.h"
#include "cutil/xml.h"

namespace repair_page {
namespace {

using autocheck::kSecurityCheckSource;

constexpr char kFunction[] = "OpenRepairPage";
constexpr char kSeparator[] = "###||###";
constexpr std::size_t kSeparatorLength = sizeof kSeparator - 1;

// Room for `more` bytes and a terminator after the text.
bool reserve(TextList* list, std::size_t more) {
    const std::size_t needed = list->length + more + 1;
    if (needed <= list->capacity) return true;
    std::size_t capacity = list->capacity < 256 ? 256 : list->capacity;
    while (capacity < needed) capacity *= 2;
    char* grown = static_cast<char*>(MemAlloc_fre(capacity));
    if (grown == nullptr) return false;
    if (list->text != nullptr) {
        std::memcpy(grown, list->text, list->length + 1);
        MemFree_fre(list->text);
    }
    list->text = grown;
    list->capacity = capacity;
    return true;
}

// Makes room for an element of `length` bytes and writes the separator
// before it unless it is the first; returns where the element goes.
char* begin_element(TextList* list, std::size_t length) {
    const std::size_t separator = list->count > 0 ? kSeparatorLength : 0;
    if (!reserve(list, separator + length)) return nullptr;
    std::memcpy(list->text + list->length, kSeparator, separator);
    list->length += separator;
    ++list->count;
    return list->text + list->length;
}

bool add_item(TextList* list, const char* item_id) {
    const std::size_t length = std::strlen(item_id);
    char* out = begin_element(list, length);
    if (out == nullptr) return false;
    std::memcpy(out, item_id, length + 1);
    list->length += length;
    return true;
}

bool add_result(Lists* lists, const XmlNode* entry) {
    lists->scratch = cutil_xml_create(kSecurityCheckSource, kFunction, __LINE__);
    if (lists->scratch == nullptr || cutil_xml_add(lists->scratch, nullptr, "TARN/Result") < 0) {
        return false;
    }
    XmlNode* copy = cutil_xml_find(lists->scratch, "TARN/Result");
    if (copy == nullptr || cutil_xml_copy_children(copy, entry) == nullptr) return false;
    const int size = cutil_xml_export(copy, nullptr, 0);
    if (size <= 0) return false;

    TextList* list = &lists->results;
    char* out = begin_element(list, static_cast<std::size_t>(size));
    if (out == nullptr) return false;
    const int written = cutil_xml_export(copy, out, size);
    for (int i = 0; i < written; ++i) {
        if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
    }
    list->length += static_cast<std::size_t>(written);
    list->text[list->length] = '\0';
    cutil_xml_free(lists->scratch);
    lists->scratch = nullptr;
    return true;
}

void release(TextList* list) {
    if (list->text != nullptr) MemFree_fre(list->text);
    *list = TextList{};
}

}  // namespace

bool build_lists(const XmlNode* result, Lists* lists) {
    // The queries take a mutable start; nothing below edits the result.
    XmlNode* document = const_cast<XmlNode*>(result);
    const int entries = cutil_xml_count(document, "TARN/Result");
    for (int i = 1; i <= entries; ++i) {
        const char* item_id = cutil_xml_get(document, "TARN/Result[%d]/ItemID", i);
        if (item_id == nullptr || item_id[0] == '\0') continue;
        if (!add_item(&lists->items, item_id) ||
            !add_result(lists, cutil_xml_find(document, "TARN/Result[%d]", i))) {
            LogTrace(kFunction, kTraceError, kSecurityCheckSource, __LINE__, "内存不足");
            return false;
        }
    }
    return true;
}

void release(Lists* lists) {
    release(&lists->items);
    release(&lists->results);
    cutil_xml_free(lists->scratch);
    lists->scratch = nullptr;
}

}  // namespace repair_page
