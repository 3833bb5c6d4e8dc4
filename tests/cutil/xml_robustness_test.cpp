// Inputs that must not exhaust the stack, take quadratic time or crash when
// the heap runs out.
#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_xml;
using quarn::test::parse_xml;

// The parser refuses such a text (below); a tree built in memory may still
// be that deep, and nothing walks it recursively.
TEST(XmlRobustness, DeepNestingIsCopiedCountedAndFreedWithoutRecursion) {
    constexpr int kDepth = 100000;
    auto doc = parse_xml("<N/>");
    ASSERT_TRUE(doc);
    XmlNode* bottom = doc.get();
    for (int i = 1; i < kDepth; ++i) {
        XmlNode* node = cutil_xml_import_fre("<N/>");
        ASSERT_NE(nullptr, node);
        node->parent = bottom;
        bottom->first_child = node;
        bottom = node;
    }
    auto copy = parse_xml("<TARN/>");
    ASSERT_EQ(copy.get(), cutil_xml_copy_children(copy.get(), doc.get()));
    EXPECT_EQ(1, cutil_xml_count(copy.get(), "TARN/N"));
    EXPECT_EQ(-1, cutil_xml_export(copy.get(), nullptr, 0));  // too long for an int
    EXPECT_EQ(0, cutil_xml_delete(doc.get(), "N/N"));
    EXPECT_EQ(nullptr, doc->first_child);
}

std::string nested(int depth, const char* innermost) {
    std::string text;
    for (int i = 1; i < depth; ++i) text += "<N>";
    text += innermost;
    for (int i = 1; i < depth; ++i) text += "</N>";
    return text;
}

TEST(XmlRobustness, NestingBeyondTheLimitIsRefusedWhole) {
    const struct {
        int depth;
        const char* innermost;
        bool parsed;
    } rows[] = {
        {kXmlMaxDepth, "<N>x</N>", true},
        {kXmlMaxDepth, "<N/>", true},
        {kXmlMaxDepth + 1, "<N>x</N>", false},
        {kXmlMaxDepth + 1, "<N/>", false},
        {140000, "<N/>", false},
    };
    for (const auto& row : rows) {
        auto doc = parse_xml(nested(row.depth, row.innermost).c_str());
        EXPECT_EQ(row.parsed, doc != nullptr) << row.depth << row.innermost;
    }
    // Unclosed: the text ends early at the limit, and is refused past it.
    std::string open;
    for (int i = 0; i < kXmlMaxDepth + 1; ++i) open += "<N>";
    EXPECT_EQ(nullptr, parse_xml(open.c_str()));
}

TEST(XmlRobustness, AMegabyteOfChainedReferencesDecodesToOneAmpersand) {
    // A megabyte of "&amp;amp;amp;..." is one ampersand (the speed itself is
    // held by the benchmark of chained references).
    std::string text = "<TARN>&";
    text.reserve(1 << 21);
    while (text.size() < (1u << 20)) text += "amp;";
    text += "</TARN>";
    auto doc = parse_xml(text.c_str());
    EXPECT_STREQ("&", cutil_xml_get(doc.get(), "TARN"));
}

// Allocation number `fail_at` (from 0) fails and, with `fail_rest`, every
// one after it (an exhausted heap).
int fail_at = -1;
bool fail_rest = false;
bool injected = false;
bool fail_hook(std::size_t) {
    if (injected) return fail_rest;
    return injected = fail_at-- == 0;
}

// Runs `operation` with allocation k failing, for k = 0, 1, ... until a run
// meets no failure; `operation` returns a check that learns whether an
// allocation failed.
template <class Operation>
void with_each_failure(bool all_after, Operation operation) {
    for (int k = 0; k < 100000; ++k) {
        fail_at = k;
        fail_rest = all_after;
        injected = false;
        cutil_xml_testing_fail_allocations(&fail_hook);
        auto check = operation();
        cutil_xml_testing_fail_allocations(nullptr);
        check(injected);
        if (!injected) return;
    }
    FAIL() << "the operation never completed";
}

constexpr char kPolicy[] =
    "<?xml version=\"1.0\" encoding=\"gbk\"?><TARN><SecurityCheckPolicy Ver=\"3\">"
    "<CheckItems><Item><ItemID>1</ItemID><CheckType>Process</CheckType>"
    "<Name>杀毒软件 &amp; 补丁</Name></Item><Item k=\"v\"/></CheckItems>"
    "</SecurityCheckPolicy></TARN>";

class XmlHeapExhaustion : public ::testing::TestWithParam<bool> {};

TEST_P(XmlHeapExhaustion, ImportGivesNoDocumentOrTheWholeOne) {
    const std::string expected = export_xml(parse_xml(kPolicy).get());
    with_each_failure(GetParam(), [&] {
        XmlUntrackedDocument doc(cutil_xml_import_fre(kPolicy));
        return [doc = std::move(doc), &expected](bool failed) {
            if (failed) {
                EXPECT_FALSE(doc);
            } else {
                EXPECT_EQ(expected, export_xml(doc.get()));
            }
        };
    });
}

TEST_P(XmlHeapExhaustion, EditsFailWithMinusOneAndLeaveTheDocumentAsItWas) {
    auto doc = parse_xml(kPolicy);
    const std::string before = export_xml(doc.get());
    with_each_failure(GetParam(), [&] {
        const int added = cutil_xml_add(doc.get(), " 新 &lt; ", "TARN/SecurityCheckPolicy/Added");
        return [&, added](bool failed) {
            if (failed) {
                EXPECT_EQ(-1, added);
                EXPECT_EQ(before, export_xml(doc.get()));
            } else {
                EXPECT_EQ(1, added);
                EXPECT_EQ(0, cutil_xml_delete(doc.get(), "TARN/SecurityCheckPolicy/Added"));
            }
        };
    });
    with_each_failure(GetParam(), [&] {
        const int set =
            cutil_xml_set(doc.get(), "2", "TARN/SecurityCheckPolicy/CheckItems/Item/ItemID");
        return [&, set](bool failed) {
            EXPECT_EQ(failed ? -1 : 0, set);
            EXPECT_STREQ(
                failed ? "1" : "2",
                cutil_xml_get(doc.get(), "TARN/SecurityCheckPolicy/CheckItems/Item/ItemID"));
        };
    });
}

TEST_P(XmlHeapExhaustion, CopyChildrenLeavesTheDestinationUnchanged) {
    auto source = parse_xml(kPolicy);
    auto destination = parse_xml("<TARN><Result/></TARN>");
    const std::string before = export_xml(destination.get());
    XmlNode* result = cutil_xml_find(destination.get(), "TARN/Result");
    with_each_failure(GetParam(), [&] {
        XmlNode* copied = cutil_xml_copy_children(result, source.get());
        return [&, copied](bool failed) {
            if (failed) {
                EXPECT_EQ(nullptr, copied);
                EXPECT_EQ(before, export_xml(destination.get()));
            } else {
                EXPECT_EQ(result, copied);
                EXPECT_STREQ("Process", cutil_xml_get(result,
                                                      "Result/SecurityCheckPolicy/"
                                                      "CheckItems/Item/CheckType"));
            }
        };
    });
}

TEST_P(XmlHeapExhaustion, CreateGivesNoDocument) {
    with_each_failure(GetParam(), [&] {
        XmlDocument doc(cutil_xml_create("Cutil_Xml", "test", __LINE__));
        return [doc = std::move(doc)](bool failed) { EXPECT_EQ(failed, doc == nullptr); };
    });
}

INSTANTIATE_TEST_SUITE_P(OneOrAllFailing, XmlHeapExhaustion, ::testing::Bool());

}  // namespace
