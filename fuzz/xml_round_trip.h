// The invariants of a parsed document, shared by the import fuzz target and
// the corpus replay test:
//  - the export's sizing call, full write and any short write agree (a short
//    write is a zero-terminated prefix of the full output, zero-filled after);
//  - re-importing the export gives the same tree, where a string's expected
//    form is its escaped form decoded again (a stored "&lt;" comes back as
//    "<") and a missing text comes back empty; documents with names the
//    text form cannot carry (empty, "?…", "!--…", "…/") are not compared;
//  - every node reachable by a plain path is found by it, and counting its
//    same-named siblings gives how many there are;
//  - copying the children and freeing everything leaks nothing (sanitizer).
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cutil/xml.h"

namespace quarn::fuzz {

// Each reference kind in turn, searching again from the start after every
// replacement: the decoding as documented, slowly.
inline std::string decode_by_definition(std::string text) {
    const char* kinds[][2] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}, {"&quot;", "\""}};
    for (const auto& kind : kinds) {
        const std::string from = kind[0];
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from)) {
            text.replace(at, from.size(), kind[1]);
        }
    }
    return text;
}

inline bool begins_with_folded(const char* text, const char* lower) {
    for (; *lower != '\0'; ++text, ++lower) {
        const char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text + 32) : *text;
        if (c != *lower) return false;
    }
    return true;
}

inline std::string escape_for_output(const char* text, bool quotes) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '<') {
            out += "&lt;";
        } else if (*p == '>') {
            out += "&gt;";
        } else if (*p == '&' && !begins_with_folded(p + 1, "lt;") &&
                   !begins_with_folded(p + 1, "gt;") && !begins_with_folded(p + 1, "amp;") &&
                   !begins_with_folded(p + 1, "quot;")) {
            out += "&amp;";
        } else if (*p == '"' && quotes) {
            out += "&quot;";
        } else {
            out += *p;
        }
    }
    return out;
}

// What a stored string reads as after one export and import.
inline std::string after_round_trip(const char* text, bool quotes) {
    return decode_by_definition(escape_for_output(text != nullptr ? text : "", quotes));
}

// Pre-order list of the tree under `root` (root included).
inline std::vector<const XmlNode*> nodes_of(const XmlNode* root) {
    std::vector<const XmlNode*> out;
    std::vector<const XmlNode*> pending = {root};
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        out.push_back(node);
        std::vector<const XmlNode*> children;
        for (const XmlNode* c = node->first_child; c != nullptr; c = c->next_sibling) {
            children.push_back(c);
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
    }
    return out;
}

inline bool name_survives_text_form(const XmlNode* node) {
    const std::size_t n = std::strlen(node->name);
    if (n == 0 || node->name[0] == '?' || std::strncmp(node->name, "!--", 3) == 0) return false;
    if (node->name[n - 1] == '/') return false;
    return node->parent == nullptr || node->name[0] != '/';
}

inline int children_count(const XmlNode* node) {
    int n = 0;
    for (const XmlNode* c = node->first_child; c != nullptr; c = c->next_sibling) ++n;
    return n;
}

inline std::string compare_after_round_trip(const XmlNode* before, const XmlNode* after) {
    const auto a = nodes_of(before);
    const auto b = nodes_of(after);
    if (a.size() != b.size()) return "node count changed";
    for (std::size_t i = 0; i < a.size(); ++i) {
        const XmlNode* x = a[i];
        const XmlNode* y = b[i];
        const std::string where = " at node " + std::to_string(i) + " <" + x->name + ">";
        if (children_count(x) != children_count(y)) return "children changed" + where;
        if (after_round_trip(x->name, true) != y->name) return "name changed" + where;
        if (y->text == nullptr || after_round_trip(x->text, false) != y->text) {
            return "text changed" + where;
        }
        if (x->attribute_count != y->attribute_count) return "attribute count changed" + where;
        for (int k = 0; k < x->attribute_count; ++k) {
            if (after_round_trip(x->attributes[k].name, true) != y->attributes[k].name ||
                after_round_trip(x->attributes[k].value, true) != y->attributes[k].value) {
                return "attribute changed" + where;
            }
        }
    }
    return std::string();
}

// A name that a path reaches unchanged: no separator, bracket, reference or
// surrounding white space.
inline bool plain_step(const char* name) {
    const std::size_t n = std::strlen(name);
    if (n == 0 || std::strpbrk(name, "/[&") != nullptr) return false;
    auto space = [](char c) { return std::strchr(" \t\n\v\f\r", c) != nullptr; };
    return !space(name[0]) && !space(name[n - 1]);
}

inline std::string check_paths(XmlNode* root) {
    // Nodes reachable by plain steps, with their paths and step counts (a
    // path of more than 51 steps never resolves).
    struct Pending {
        XmlNode* node;
        std::string path;
        int steps;
    };
    std::vector<Pending> pending;
    if (plain_step(root->name)) pending.push_back({root, root->name, 1});
    int checked = 0;
    while (!pending.empty() && checked++ < 400) {
        const Pending entry = pending.back();
        pending.pop_back();
        XmlNode* node = entry.node;
        const std::string& path = entry.path;
        if (cutil_xml_find(root, "%s", path.c_str()) != node) return "path misses " + path;
        if (entry.steps >= 51) continue;  // children would need 52 steps
        std::map<std::string, int> totals;
        for (XmlNode* c = node->first_child; c != nullptr; c = c->next_sibling) ++totals[c->name];
        std::map<std::string, int> seen;
        for (XmlNode* c = node->first_child; c != nullptr; c = c->next_sibling) {
            const int index = ++seen[c->name];
            const int same = totals[c->name];
            if (!plain_step(c->name)) continue;
            const std::string list = path + "/" + c->name;
            if (index == 1 && list.size() < 240 &&
                cutil_xml_count(root, "%s", list.c_str()) != same) {
                return "count differs for " + list;
            }
            if (list.size() < 1000 && pending.size() < 400) {
                pending.push_back({c, list + "[" + std::to_string(index) + "]", entry.steps + 1});
            }
        }
    }
    return std::string();
}

inline std::string check_exports(const XmlNode* doc, std::size_t cut_seed, std::string* full) {
    const int size = cutil_xml_export(doc, nullptr, 0);
    if (size == -1 || size > (8 << 20)) return "skip";  // too deep to write out
    if (size < 40) return "sizing gave " + std::to_string(size);
    full->assign(static_cast<std::size_t>(size), 'x');
    if (cutil_xml_export(doc, &(*full)[0], size) != size - 1) return "full write length";
    if (std::strlen(full->c_str()) != static_cast<std::size_t>(size - 1)) return "full terminator";
    full->resize(static_cast<std::size_t>(size - 1));

    const int short_size = 1 + static_cast<int>(cut_seed % static_cast<std::size_t>(size - 1));
    std::string part(static_cast<std::size_t>(short_size), 'x');
    if (cutil_xml_export(doc, &part[0], short_size) != size) return "short write result";
    const std::size_t written = std::strlen(part.c_str());
    if (written >= static_cast<std::size_t>(short_size)) return "short write terminator";
    if (full->compare(0, written, part.c_str()) != 0) return "short write is no prefix";
    for (std::size_t i = written; i < part.size(); ++i) {
        if (part[i] != '\0') return "short write left bytes behind";
    }
    return std::string();
}

// "" when the invariants hold for `text` (or it holds no document).
inline std::string check_xml_round_trip(const char* text, std::size_t cut_seed) {
    XmlUntrackedDocument doc(cutil_xml_import_fre(text));
    if (!doc) return std::string();
    std::string full;
    std::string problem = check_exports(doc.get(), cut_seed, &full);
    if (problem == "skip") return std::string();
    if (!problem.empty()) return problem;

    bool comparable = true;
    for (const XmlNode* node : nodes_of(doc.get())) comparable &= name_survives_text_form(node);
    XmlUntrackedDocument again(cutil_xml_import_fre(full.c_str()));
    if (comparable) {
        if (!again) return "export did not import";
        problem = compare_after_round_trip(doc.get(), again.get());
        if (!problem.empty()) return problem;
    }
    problem = check_paths(doc.get());
    if (!problem.empty()) return problem;

    XmlUntrackedDocument copy(cutil_xml_import_fre("<TARN/>"));
    if (copy && cutil_xml_copy_children(copy.get(), doc.get()) != copy.get()) return "copy failed";
    if (copy && children_count(copy.get()) != children_count(doc.get())) return "copy incomplete";
    return std::string();
}

}  // namespace quarn::fuzz
