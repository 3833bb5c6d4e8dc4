// The one-pass reference decoding and the one-walk count against slow
// implementations written straight from their definitions, on generated
// inputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "cutil/xml_internal.h"
#include "fuzz/xml_round_trip.h"
#include "tests/cutil/xml_test_support.h"

namespace {

std::string decode_in_one_pass(const std::string& text) {
    std::string out(text.size(), '\0');
    out.resize(cutil::xml::decode_references(text.data(), text.size(), &out[0]));
    return out;
}

TEST(XmlReference, OnePassDecodingMatchesTheDefinition) {
    std::mt19937 random(20261207);
    const std::vector<std::string> tokens = {"&",     "amp;", "lt;",  "gt;",    "quot;",
                                             "&amp;", "&lt;", "&gt;", "&quot;", "&LT;",
                                             "&Amp;", ";",    "a",    "<"};
    const std::string letters = "&amp;ltgquo;x";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int pieces = static_cast<int>(random() % 12);
        for (int i = 0; i < pieces; ++i) {
            if (random() % 3 == 0) {
                text += letters[random() % letters.size()];
            } else {
                text += tokens[random() % tokens.size()];
            }
        }
        ASSERT_EQ(quarn::fuzz::decode_by_definition(text), decode_in_one_pass(text)) << text;
    }
}

// The index-by-index count: "<path>[i]" cut to 259 characters, resolved
// from the start each time; the guard against a repeated node stands in for
// the endless loop of a path whose index no longer changes the node.
int count_by_definition(XmlNode* start, const std::string& path) {
    std::set<const XmlNode*> counted;
    for (int i = 1;; ++i) {
        char indexed[260];
        std::snprintf(indexed, sizeof indexed, "%s[%d]", path.c_str(), i);
        const XmlNode* node = cutil_xml_find(start, "%s", indexed);
        if (node == nullptr || !counted.insert(node).second) return i - 1;
    }
}

TEST(XmlReference, OneWalkCountMatchesTheIndexByIndexDefinition) {
    std::mt19937 random(7);
    const std::string long_name(240, 'n');
    const std::vector<std::string> names = {"A",       "B",       "A[1]",
                                            long_name, long_name, long_name + "12"};
    for (int round = 0; round < 60; ++round) {
        auto doc = quarn::test::parse_xml("<TARN/>");
        ASSERT_TRUE(doc);
        const int children = static_cast<int>(random() % 80);
        for (int i = 0; i < children; ++i) {
            const std::string& name = names[random() % names.size()];
            cutil_xml_add(doc.get(), nullptr, "TARN/%s", name.c_str());
            if (random() % 4 == 0) cutil_xml_add(doc.get(), nullptr, "TARN/A/%s", name.c_str());
        }
        std::vector<std::string> paths = {"TARN/" + long_name + "12"};
        for (const char* path : {"TARN", "TARN/A", "TARN/B", "TARN/A/A", "TARN/A[2]", "TARN/A[",
                                 "TARN/A ", " /TARN/A", "/TARN/B", "A", "TARN/A[1]/B"}) {
            paths.push_back(path);
        }
        // Paths around the 259-character cut: the appended index loses digits,
        // its "]", its "[" or part of the path.
        for (std::size_t pad = 0; pad < 24; ++pad) {
            paths.push_back(std::string(pad, ' ') + "TARN/" + long_name);
            paths.push_back(std::string(pad, ' ') + "TARN/A/" + long_name);
        }
        for (const std::string& path : paths) {
            ASSERT_EQ(count_by_definition(doc.get(), path),
                      cutil_xml_count(doc.get(), "%s", path.c_str()))
                << "path of " << path.size() << " characters: " << path.substr(0, 40);
        }
    }
}

}  // namespace
