// The parser's rules: texts, self-closing and closing tags, declarations and
// comments, attributes, truncated input.
#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_body;
using quarn::test::parse_xml;

TEST(XmlParse, SelfClosingChildHasNoTextAndItsParentAnEmptyOne) {
    auto doc = parse_xml("<TARN><B/></TARN>");
    ASSERT_TRUE(doc);
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "TARN/B"));
    EXPECT_STREQ("", cutil_xml_get(doc.get(), "TARN"));
    EXPECT_NE(nullptr, cutil_xml_find(doc.get(), "TARN/B"));
}

TEST(XmlParse, KeepsOnlyTheTextBeforeTheFirstChild) {
    auto doc = parse_xml("<TARN>  x &amp; y  <C>z</C> tail </TARN>");
    EXPECT_STREQ("x & y", cutil_xml_get(doc.get(), "TARN"));
    EXPECT_STREQ("z", cutil_xml_get(doc.get(), "TARN/C"));
}

TEST(XmlParse, ClosingTagEndsTheElementWhateverItsName) {
    auto doc = parse_xml("<TARN><A>1</TARN>");
    EXPECT_EQ("<TARN>\r\n\t<A>1</A>\r\n</TARN>\r\n", export_body(doc.get()));
    auto other = parse_xml("<TARN><A>1</B><C>2</D></E><F/>");
    EXPECT_EQ("<TARN>\r\n\t<A>1</A>\r\n\t<C>2</C>\r\n</TARN>\r\n", export_body(other.get()));
}

struct ParseCase {
    const char* name;
    const char* input;
    const char* body;  // export without the header; null: no document
};

class ParseCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCases, BuildsTheDocumentTheRulesGive) {
    const ParseCase& c = GetParam();
    auto doc = parse_xml(c.input);
    if (c.body == nullptr) {
        EXPECT_FALSE(doc) << export_body(doc.get());
    } else {
        ASSERT_TRUE(doc);
        EXPECT_EQ(c.body, export_body(doc.get()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseCases,
    ::testing::Values(
        ParseCase{"Empty", "", nullptr}, ParseCase{"NoTag", "just text", nullptr},
        ParseCase{"UnclosedTag", "<TARN", nullptr},
        ParseCase{"DeclarationWithoutEnd", "<?xml version", nullptr},
        ParseCase{"DeclarationWithoutTagAfter", "<?xml?> text", nullptr},
        ParseCase{"CommentWithoutEnd", "<!-- x", nullptr},
        ParseCase{"DeclarationAndComment",
                  "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<!-- policy --><TARN>t</TARN>",
                  "<TARN>t</TARN>\r\n"},
        ParseCase{"TwoCommentsInARow", "<!-- a --><!-- b --><TARN/>",
                  "<!-->\r\n\t<TARN></TARN>\r\n</!-->\r\n"},
        ParseCase{"SelfClosingRootStillReadsContent", "<TARN/><A>1</A>",
                  "<TARN>\r\n\t<A>1</A>\r\n</TARN>\r\n"},
        ParseCase{"TruncatedKeepsWhatWasRead", "<TARN><A>1</A><B><C>x",
                  "<TARN>\r\n\t<A>1</A>\r\n\t<B>\r\n\t\t<C></C>\r\n\t</B>\r\n</TARN>\r\n"},
        ParseCase{"TextsAfterChildrenDropped", "<TARN><A/>after<B/>more</TARN>",
                  "<TARN>\r\n\t<A></A>\r\n\t<B></B>\r\n</TARN>\r\n"},
        ParseCase{"NameEndsAtSpaceOrSlash", "<TARN ><A /><B/ c=\"d\"></TARN>",
                  "<TARN>\r\n\t<A></A>\r\n\t<B c=\"d\"></B>\r\n</TARN>\r\n"},
        ParseCase{"AttributesNormalised", "<TARN  k = \"no\" id=\" 7 \"x=\"&lt;\"/>",
                  "<TARN k = &quot;no&quot; id=\"7\" x=\"&lt;\"></TARN>\r\n"},
        ParseCase{"SingleQuotesNotRecognised", "<TARN a='1' b=\"2\"/>",
                  "<TARN a='1' b=\"2\"></TARN>\r\n"},
        ParseCase{"AttributeWithoutClosingQuote", "<TARN a=\"1\" b=\"2></TARN>",
                  "<TARN a=\"1\"></TARN>\r\n"},
        ParseCase{"GbkTextPassesThrough", "<TARN><消息>检查通过</消息></TARN>",
                  "<TARN>\r\n\t<消息>检查通过</消息>\r\n</TARN>\r\n"}),
    [](const ::testing::TestParamInfo<ParseCase>& param_info) {
        return std::string(param_info.param.name);
    });

TEST(XmlParse, KeepsTheFirst32Attributes) {
    std::string text = "<TARN";
    for (int i = 1; i <= 40; ++i)
        text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    text += "/>";
    auto doc = parse_xml(text.c_str());
    ASSERT_TRUE(doc);
    ASSERT_EQ(32, doc->attribute_count);
    EXPECT_STREQ("a1", doc->attributes[0].name);
    EXPECT_STREQ("32", doc->attributes[31].value);
}

TEST(XmlParse, LinksParentsAndSiblings) {
    auto doc = parse_xml("<TARN><A><B/><C/></A><D/></TARN>");
    XmlNode* a = cutil_xml_find(doc.get(), "TARN/A");
    XmlNode* c = cutil_xml_find(doc.get(), "TARN/A/C");
    ASSERT_TRUE(a && c);
    EXPECT_EQ(nullptr, doc->parent);
    EXPECT_EQ(doc.get(), a->parent);
    EXPECT_EQ(a, c->parent);
    EXPECT_EQ(nullptr, c->next_sibling);
    EXPECT_EQ(cutil_xml_find(doc.get(), "TARN/D"), a->next_sibling);
}

TEST(XmlParse, InputIsOnlyRead) {
    const std::string input = "<TARN a=\"&amp;\"> &lt;x&gt; <B/></TARN>";
    std::string copy = input;
    auto doc = parse_xml(copy.c_str());
    EXPECT_EQ(input, copy);
    EXPECT_STREQ("<x>", cutil_xml_get(doc.get(), "TARN"));
}

}  // namespace
