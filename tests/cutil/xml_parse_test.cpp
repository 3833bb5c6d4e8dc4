// The parser's rules (texts, self-closing and closing tags, declarations and
// comments, attributes, truncated input) and the path queries on the result.
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

TEST(XmlParse, BuildsTheDocumentTheRulesGive) {
    const struct {
        const char* input;
        const char* body;  // export without the header; null: no document
    } cases[] = {
        {"", nullptr},
        {"just text", nullptr},
        {"<TARN", nullptr},
        {"<?xml version", nullptr},
        {"<?xml?> text", nullptr},
        {"<!-- x", nullptr},
        {"<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<!-- policy --><TARN>t</TARN>",
         "<TARN>t</TARN>\r\n"},
        {"<!-- a --><!-- b --><TARN/>", "<!-->\r\n\t<TARN></TARN>\r\n</!-->\r\n"},
        // A closing tag ends the open element whatever its name.
        {"<TARN><A>1</TARN>", "<TARN>\r\n\t<A>1</A>\r\n</TARN>\r\n"},
        {"<TARN><A>1</B><C>2</D></E><F/>", "<TARN>\r\n\t<A>1</A>\r\n\t<C>2</C>\r\n</TARN>\r\n"},
        {"<TARN/><A>1</A>", "<TARN>\r\n\t<A>1</A>\r\n</TARN>\r\n"},
        {"<TARN><A>1</A><B><C>x",  // truncated: keeps what was read
         "<TARN>\r\n\t<A>1</A>\r\n\t<B>\r\n\t\t<C></C>\r\n\t</B>\r\n</TARN>\r\n"},
        {"<TARN><A/>after<B/>more</TARN>", "<TARN>\r\n\t<A></A>\r\n\t<B></B>\r\n</TARN>\r\n"},
        {"<TARN ><A /><B/ c=\"d\"></TARN>",
         "<TARN>\r\n\t<A></A>\r\n\t<B c=\"d\"></B>\r\n</TARN>\r\n"},
        {"<TARN  k = \"no\" id=\" 7 \"x=\"&lt;\"/>",
         "<TARN k = &quot;no&quot; id=\"7\" x=\"&lt;\"></TARN>\r\n"},
        {"<TARN a='1' b=\"2\"/>", "<TARN a='1' b=\"2\"></TARN>\r\n"},
        {"<TARN a=\"1\" b=\"2></TARN>", "<TARN a=\"1\"></TARN>\r\n"},
        {"<TARN><消息>检查通过</消息></TARN>", "<TARN>\r\n\t<消息>检查通过</消息>\r\n</TARN>\r\n"},
    };
    for (const auto& c : cases) {
        auto doc = parse_xml(c.input);
        if (c.body == nullptr) {
            EXPECT_FALSE(doc) << c.input;
        } else {
            EXPECT_EQ(c.body, export_body(doc.get())) << c.input;
        }
    }
}

TEST(XmlParse, KeepsTheFirst32Attributes) {
    std::string text = "<TARN";
    for (int i = 1; i <= 40; ++i)
        text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    auto doc = parse_xml((text + "/>").c_str());
    ASSERT_TRUE(doc);
    ASSERT_EQ(32, doc->attribute_count);
    EXPECT_STREQ("a1", doc->attributes[0].name);
    EXPECT_STREQ("32", doc->attributes[31].value);
}

TEST(XmlQuery, ResolvesIndexesAmongSameNamedSiblings) {
    auto doc = parse_xml("<TARN><A>1</A><B>b</B><A>2</A></TARN>");
    const char* cases[][2] = {
        {"TARN/A", "1"},         {"TARN/A[1]", "1"},     {"TARN/A[2]", "2"},
        {"TARN/A[0]", "1"},      {"TARN/A[x]", "1"},     {"TARN/A[-2]", "1"},
        {"TARN/A[2x", "2"},      {"TARN/A[3]", nullptr}, {"A", nullptr},
        {"/TARN/A[2]", "2"},     {"  TARN/B \t", "b"},   {"TARN/a", nullptr},
        {"TARN//A", nullptr},    {"TARN[1]/A[2]", "2"},  {"TARN/A[99999999999999999999]", nullptr},
        {"TARN/&#65;", nullptr},
    };
    for (const auto& c : cases) {
        const char* text = cutil_xml_get(doc.get(), "%s", c[0]);
        EXPECT_STREQ(c[1], text) << c[0];
    }
}

TEST(XmlQuery, CountsSameNamedSiblings) {
    auto doc = parse_xml("<TARN><A>1</A><B/><A>2</A><C><A/></C></TARN>");
    const struct {
        const char* path;
        int count;
    } cases[] = {
        {"TARN/A", 2},
        {"TARN/B", 1},
        {"TARN", 1},
        {"TARN/D", 0},
        {"TARN/D/A", 0},
        {"TARN/C/A", 1},
        {"TARN/A ", 0},  // trailing white space stays before the appended "[1]"
        // Every "TARN/A[2][i]" names the same node: the count stops there.
        {"TARN/A[2]", 1},
        {"TARN/A[3]", 0},
        {"TARN/A[", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.count, cutil_xml_count(doc.get(), "%s", c.path)) << c.path;
}

TEST(XmlQuery, GetIntReadsLeadingDigitsOrGivesMinusOne) {
    auto doc = parse_xml(
        "<TARN><N>42</N><M>-7x</M><P>+5</P><S> 12 </S><W>abc</W><E></E><D>-</D>"
        "<Big>99999999999</Big><Neg>-99999999999</Neg><Z/></TARN>");
    const struct {
        const char* name;
        int value;
    } cases[] = {{"N", 42}, {"M", -7},           {"P", -1},
                 {"S", 12}, {"W", -1},           {"E", -1},
                 {"D", 0},  {"Big", 2147483647}, {"Neg", -2147483647 - 1},
                 {"Z", -1}, {"Missing", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.value, cutil_xml_get_int(doc.get(), "TARN/%s", c.name)) << c.name;
}

TEST(XmlQuery, FoundNodeStartsFurtherQueriesWithItsOwnName) {
    auto doc = parse_xml(
        "<TARN><Item><ID>1</ID></Item><Item><ID>2</ID></Item><Other><ID>3</ID></Other></TARN>");
    XmlNode* item = cutil_xml_find(doc.get(), "TARN/Item[%d]", 2);
    ASSERT_NE(nullptr, item);
    EXPECT_STREQ("2", cutil_xml_get(item, "Item/ID"));
    EXPECT_EQ(nullptr, cutil_xml_get(item, "ID"));
    // The first step also looks at the siblings after the start node.
    EXPECT_STREQ("3", cutil_xml_get(item, "Other/ID"));
    EXPECT_STREQ("2", cutil_xml_get(cutil_xml_find(doc.get(), "TARN/Item"), "Item[2]/ID"));
}

TEST(XmlQuery, PathIsFormattedCutAt1023CharactersAndAtMost51Steps) {
    auto doc = parse_xml("<TARN><UserInfo><UserName>张三</UserName></UserInfo></TARN>");
    EXPECT_STREQ("张三", cutil_xml_get(doc.get(), "TARN/%s[%d]/UserName", "UserInfo", 1));
    // A '%' in an argument is never read as a format.
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "%s", "TARN/%s%n%s"));
    // The 1024th character and beyond are dropped: the cut name still matches.
    const std::string path = "TARN/UserInfo/UserName";
    const std::string padded = path + std::string(1023 - path.size(), ' ') + "X";
    EXPECT_STREQ("张三", cutil_xml_get(doc.get(), "%s", padded.c_str()));

    std::string deep_text;
    std::string deep_path = "N";
    for (int i = 0; i < 60; ++i) deep_text += "<N>";
    auto deep = parse_xml(deep_text.c_str());
    for (int depth = 2; depth <= 60; ++depth) {
        deep_path += "/N";
        EXPECT_EQ(depth <= 51, cutil_xml_find(deep.get(), "%s", deep_path.c_str()) != nullptr)
            << depth;
    }
}

TEST(XmlQuery, NullDocumentGivesNotFound) {
    EXPECT_EQ(nullptr, cutil_xml_get(nullptr, "TARN"));
    EXPECT_EQ(-1, cutil_xml_get_int(nullptr, "TARN"));
    EXPECT_EQ(nullptr, cutil_xml_find(nullptr, "TARN"));
    EXPECT_EQ(0, cutil_xml_count(nullptr, "TARN"));
    EXPECT_EQ(-1, cutil_xml_add(nullptr, "x", "TARN/A"));
    EXPECT_EQ(-1, cutil_xml_set(nullptr, "x", "TARN/A"));
    EXPECT_EQ(-1, cutil_xml_delete(nullptr, "TARN/A"));
    EXPECT_EQ(0, cutil_xml_export(nullptr, nullptr, 0));
    cutil_xml_free(nullptr);
}

}  // namespace
