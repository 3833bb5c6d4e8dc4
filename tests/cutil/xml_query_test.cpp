// Path resolution and the read-only queries on parsed documents.
#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::parse_xml;

struct GetCase {
    const char* path;
    const char* expected;  // null: no text / does not resolve
};

class TwoSiblings : public ::testing::TestWithParam<GetCase> {};

TEST_P(TwoSiblings, ResolvesIndexesAmongSameNamedSiblings) {
    auto doc = parse_xml("<TARN><A>1</A><B>b</B><A>2</A></TARN>");
    ASSERT_TRUE(doc);
    const GetCase& c = GetParam();
    const char* text = cutil_xml_get(doc.get(), "%s", c.path);
    if (c.expected == nullptr) {
        EXPECT_EQ(nullptr, text) << c.path;
    } else {
        ASSERT_NE(nullptr, text) << c.path;
        EXPECT_STREQ(c.expected, text) << c.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, TwoSiblings,
                         ::testing::Values(GetCase{"TARN/A", "1"}, GetCase{"TARN/A[1]", "1"},
                                           GetCase{"TARN/A[2]", "2"}, GetCase{"TARN/A[0]", "1"},
                                           GetCase{"TARN/A[x]", "1"}, GetCase{"TARN/A[-2]", "1"},
                                           GetCase{"TARN/A[2x", "2"}, GetCase{"TARN/A[3]", nullptr},
                                           GetCase{"A", nullptr}, GetCase{"/TARN/A[2]", "2"},
                                           GetCase{"  TARN/B \t", "b"}, GetCase{"TARN/a", nullptr},
                                           GetCase{"TARN//A", nullptr},
                                           GetCase{"TARN/A[99999999999999999999]", nullptr},
                                           GetCase{"TARN[1]/A[2]", "2"},
                                           GetCase{"TARN/&#65;", nullptr}));

TEST(XmlQuery, CountsSameNamedSiblings) {
    auto doc = parse_xml("<TARN><A>1</A><B/><A>2</A><C><A/></C></TARN>");
    EXPECT_EQ(2, cutil_xml_count(doc.get(), "TARN/A"));
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN/B"));
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN"));
    EXPECT_EQ(0, cutil_xml_count(doc.get(), "TARN/D"));
    EXPECT_EQ(0, cutil_xml_count(doc.get(), "TARN/D/A"));
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN/C/A"));
    // Trailing white space stays before the appended "[1]" and breaks the name.
    EXPECT_EQ(0, cutil_xml_count(doc.get(), "TARN/A "));
    EXPECT_EQ(0, cutil_xml_count(nullptr, "TARN/A"));
}

TEST(XmlQuery, CountOfAnAlreadyIndexedPathEndsAtTheRepeatedNode) {
    // Every "TARN/A[2][i]" names the same node: the count stops there.
    auto doc = parse_xml("<TARN><A>1</A><A>2</A></TARN>");
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN/A[2]"));
    EXPECT_EQ(0, cutil_xml_count(doc.get(), "TARN/A[3]"));
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN/A["));
}

TEST(XmlQuery, GetIntReadsLeadingDigitsOrGivesMinusOne) {
    auto doc = parse_xml(
        "<TARN><N>42</N><M>-7x</M><P>+5</P><S> 12 </S><W>abc</W><E></E><D>-</D>"
        "<Big>99999999999</Big><Neg>-99999999999</Neg><Z/></TARN>");
    EXPECT_EQ(42, cutil_xml_get_int(doc.get(), "TARN/N"));
    EXPECT_EQ(-7, cutil_xml_get_int(doc.get(), "TARN/M"));
    EXPECT_EQ(-1, cutil_xml_get_int(doc.get(), "TARN/P"));
    EXPECT_EQ(12, cutil_xml_get_int(doc.get(), "TARN/S"));  // stored stripped
    EXPECT_EQ(-1, cutil_xml_get_int(doc.get(), "TARN/W"));
    EXPECT_EQ(-1, cutil_xml_get_int(doc.get(), "TARN/E"));
    EXPECT_EQ(0, cutil_xml_get_int(doc.get(), "TARN/D"));
    EXPECT_EQ(2147483647, cutil_xml_get_int(doc.get(), "TARN/Big"));
    EXPECT_EQ(-2147483647 - 1, cutil_xml_get_int(doc.get(), "TARN/Neg"));
    EXPECT_EQ(-1, cutil_xml_get_int(doc.get(), "TARN/Z"));
    EXPECT_EQ(-1, cutil_xml_get_int(doc.get(), "TARN/Missing"));
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
    XmlNode* first = cutil_xml_find(doc.get(), "TARN/Item");
    EXPECT_STREQ("2", cutil_xml_get(first, "Item[2]/ID"));
}

TEST(XmlQuery, PathIsFormattedAndCutAt1023Characters) {
    auto doc = parse_xml("<TARN><UserInfo><UserName>张三</UserName></UserInfo></TARN>");
    EXPECT_STREQ("张三", cutil_xml_get(doc.get(), "TARN/%s[%d]/UserName", "UserInfo", 1));
    // A '%' in an argument is never read as a format.
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "%s", "TARN/%s%n%s"));
    // The 1024th character and beyond are dropped: the cut name still matches.
    std::string longer = "TARN/UserInfo/UserName";
    const std::string padded = longer + std::string(1023 - longer.size(), ' ') + "X";
    EXPECT_STREQ("张三", cutil_xml_get(doc.get(), "%s", padded.c_str()));
}

TEST(XmlQuery, PathsDeeperThan51StepsNeverResolve) {
    std::string text;
    std::string path = "N";
    for (int i = 0; i < 60; ++i) text += "<N>";
    text += "x";
    auto doc = parse_xml(text.c_str());
    for (int depth = 2; depth <= 60; ++depth) {
        path += "/N";
        const bool resolves = cutil_xml_find(doc.get(), "%s", path.c_str()) != nullptr;
        EXPECT_EQ(depth <= 51, resolves) << depth;
    }
}

TEST(XmlQuery, NullDocumentGivesNotFound) {
    EXPECT_EQ(nullptr, cutil_xml_get(nullptr, "TARN"));
    EXPECT_EQ(-1, cutil_xml_get_int(nullptr, "TARN"));
    EXPECT_EQ(nullptr, cutil_xml_find(nullptr, "TARN"));
    EXPECT_EQ(-1, cutil_xml_add(nullptr, "x", "TARN/A"));
    EXPECT_EQ(-1, cutil_xml_set(nullptr, "x", "TARN/A"));
    EXPECT_EQ(-1, cutil_xml_delete(nullptr, "TARN/A"));
    EXPECT_EQ(0, cutil_xml_export(nullptr, nullptr, 0));
    cutil_xml_free(nullptr);
}

}  // namespace
