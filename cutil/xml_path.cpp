// Path formatting and resolution, and the read-only queries built on them.
// Queries allocate nothing: the path lives on the stack.
#include <climits>
#include <cstdio>
#include <cstring>

#include "cutil/xml_internal.h"

namespace cutil::xml {
namespace {

// Indexes beyond any real sibling count saturate here.
constexpr std::int64_t kIndexCap = std::int64_t{1} << 40;

bool name_equals(const XmlNode* node, const char* name, std::size_t length) {
    return node->name != nullptr && std::strncmp(node->name, name, length) == 0 &&
           node->name[length] == '\0';
}

Step make_step(const char* begin, std::size_t length) {
    Step step{begin, length, 1, nullptr, length};
    step.bracket = static_cast<const char*>(std::memchr(begin, '[', length));
    if (step.bracket != nullptr) {
        step.name_length = static_cast<std::size_t>(step.bracket - begin);
        // The digits after "[" (up to the first non-digit; "]" is not checked).
        std::int64_t index = 0;
        for (const char* p = step.bracket + 1; *p >= '0' && *p <= '9'; ++p) {
            index = index * 10 + (*p - '0');
            if (index > kIndexCap) index = kIndexCap;
        }
        step.index = index < 1 ? 1 : index;
    }
    return step;
}

}  // namespace

void format_path(char (&out)[kPathBufferSize], const char* format, va_list arguments) {
    out[0] = '\0';
    if (format == nullptr) return;
    if (std::vsnprintf(out, sizeof out, format, arguments) < 0) out[0] = '\0';
    out[kPathBufferSize - 1] = '\0';
}

void parse_path(const char* path, ParsedPath* out) {
    if (*path == '/') ++path;
    std::size_t length = std::strlen(path);
    if (length >= kPathBufferSize) length = kPathBufferSize - 1;
    std::memcpy(out->text, path, length);
    length = normalise_in_place(out->text, length);

    // Split at the first 50 separators; the remainder is the last step.
    out->count = 0;
    const char* begin = out->text;
    const char* end = out->text + length;
    while (out->count < kMaxSteps - 1) {
        const auto* slash = static_cast<const char*>(
            std::memchr(begin, '/', static_cast<std::size_t>(end - begin)));
        if (slash == nullptr) break;
        out->steps[out->count++] = make_step(begin, static_cast<std::size_t>(slash - begin));
        begin = slash + 1;
    }
    out->steps[out->count++] = make_step(begin, static_cast<std::size_t>(end - begin));
}

XmlNode* resolve_steps(const XmlNode* start, const Step* steps, std::size_t count) {
    const XmlNode* list = start;  // the first step looks at start and its siblings
    const XmlNode* chosen = nullptr;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) list = chosen->first_child;
        std::int64_t wanted = steps[k].index;
        chosen = nullptr;
        for (const XmlNode* node = list; node != nullptr; node = node->next_sibling) {
            if (name_equals(node, steps[k].name, steps[k].name_length) && --wanted == 0) {
                chosen = node;
                break;
            }
        }
        if (chosen == nullptr) return nullptr;
    }
    return const_cast<XmlNode*>(chosen);
}

XmlNode* resolve(const XmlNode* start, const char* path) {
    if (start == nullptr) return nullptr;
    ParsedPath parsed;
    parse_path(path, &parsed);
    return resolve_steps(start, parsed.steps, parsed.count);
}

namespace {

// The documented count resolves "<path>[i]" (cut to 259 characters) for i = 1,
// 2, ... from the start each time. Here the list holding the last step is
// found once and its same-named nodes counted in one walk. Where "[i]" does
// not become the last step's index (the step already carries a "[", or the
// cut removed it), every i names the same node and the literal loop would
// never end: the count stops at the first index that repeats a node already
// counted, so such a path counts 1 when it resolves.
int count_formatted(const XmlNode* start, const char* path) {
    if (start == nullptr) return 0;
    constexpr std::size_t kIndexedSize = 260;
    // "%s[%d]" with i = 1, cut to 259 characters.
    char indexed[kIndexedSize];
    const std::size_t path_length = std::strlen(path);
    std::size_t indexed_length = path_length < kIndexedSize - 1 ? path_length : kIndexedSize - 1;
    std::memcpy(indexed, path, indexed_length);
    for (const char* p = "[1]"; *p != '\0' && indexed_length < kIndexedSize - 1; ++p) {
        indexed[indexed_length++] = *p;
    }
    indexed[indexed_length] = '\0';
    const std::size_t appended = indexed_length > path_length ? indexed_length - path_length : 0;

    ParsedPath parsed;
    parse_path(indexed, &parsed);
    const Step& last = parsed.steps[parsed.count - 1];
    const bool index_is_appended =
        appended >= 2 && last.bracket != nullptr &&
        static_cast<std::size_t>(last.name + last.length - last.bracket) == appended;
    if (!index_is_appended) return resolve_steps(start, parsed.steps, parsed.count) ? 1 : 0;

    // Indexes with at most `digits` digits survive the cut whole; the first
    // longer one reads as an index already counted.
    const std::size_t digits = kIndexedSize - 2 - path_length;
    std::int64_t limit = 1;
    for (std::size_t i = 0; i < digits && limit <= INT_MAX; ++i) limit *= 10;
    limit = limit - 1 > INT_MAX ? INT_MAX : limit - 1;

    const XmlNode* list = start;
    if (parsed.count > 1) {
        const XmlNode* parent = resolve_steps(start, parsed.steps, parsed.count - 1);
        if (parent == nullptr) return 0;
        list = parent->first_child;
    }
    std::int64_t found = 0;
    for (const XmlNode* node = list; node != nullptr && found < limit; node = node->next_sibling) {
        if (name_equals(node, last.name, last.name_length)) ++found;
    }
    return static_cast<int>(found);
}

// atoi's reading of the leading number, saturated instead of overflowing.
int leading_int(const char* text) {
    const bool negative = *text == '-';
    if (negative) ++text;
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > std::int64_t{INT_MAX} + 1) value = std::int64_t{INT_MAX} + 1;
    }
    if (negative) return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace
}  // namespace cutil::xml

using namespace cutil::xml;

const char* cutil_xml_get(const XmlNode* start, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    const XmlNode* node = resolve(start, path);
    return node != nullptr ? node->text : nullptr;
}

int cutil_xml_get_int(const XmlNode* start, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    const XmlNode* node = resolve(start, path);
    if (node == nullptr || node->text == nullptr) return -1;
    const char first = node->text[0];
    if (first != '-' && (first < '0' || first > '9')) return -1;
    return leading_int(node->text);
}

int cutil_xml_count(const XmlNode* start, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    return count_formatted(start, path);
}

XmlNode* cutil_xml_find(XmlNode* start, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    return resolve(start, path);
}

int cutil_xml_delete(XmlNode* start, const char* path_format, ...) {
    CUTIL_XML_FORMAT_PATH(path);
    XmlNode* node = resolve(start, path);
    if (node == nullptr || node == start) return -1;
    // A node without parent can only be one of the start's following siblings.
    XmlNode** link = node->parent != nullptr ? &node->parent->first_child : &start->next_sibling;
    while (*link != nullptr && *link != node) link = &(*link)->next_sibling;
    if (*link == nullptr) return -1;
    *link = node->next_sibling;
    node->next_sibling = nullptr;
    release_tree(node);
    return 0;
}
