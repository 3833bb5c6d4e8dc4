// Building and changing documents: add, set, delete, copying children.
#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_body;
using quarn::test::parse_xml;

XmlUntrackedDocument new_document() {
    return XmlUntrackedDocument(cutil_xml_import_fre("<TARN></TARN>"));
}

TEST(XmlEdit, AddAppendsAndReturnsTheOrdinalAmongSameNamedSiblings) {
    auto doc = new_document();
    EXPECT_EQ(1, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "x", "TARN/Other"));
    EXPECT_EQ(2, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(3, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "李四", "TARN/UserInfo[%d]/UserName", 3));
    EXPECT_STREQ("李四", cutil_xml_get(doc.get(), "TARN/UserInfo[3]/UserName"));
    EXPECT_EQ(3, cutil_xml_count(doc.get(), "TARN/UserInfo"));
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "TARN/UserInfo[1]"));  // added without text
    EXPECT_EQ(
        "<TARN>\r\n\t<UserInfo></UserInfo>\r\n\t<Other>x</Other>\r\n\t<UserInfo></UserInfo>\r\n"
        "\t<UserInfo>\r\n\t\t<UserName>李四</UserName>\r\n\t</UserInfo>\r\n</TARN>\r\n",
        export_body(doc.get()));
}

TEST(XmlEdit, AddRefusesWithoutAResolvingParent) {
    auto doc = new_document();
    const std::string before = export_body(doc.get());
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "TARN/Missing/Name"));
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "TARN"));  // no "/"
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "/Name"));
    EXPECT_EQ(before, export_body(doc.get()));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "x", "/TARN/Name"));
}

TEST(XmlEdit, StoredStringsAreDecodedAndStripped) {
    auto doc = new_document();
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "  a &lt;b&gt; &amp;amp; &quot;q&quot;\r\n", "TARN/ T "));
    EXPECT_STREQ("a <b> & \"q\"", cutil_xml_get(doc.get(), "TARN/T"));
}

TEST(XmlEdit, SetUpdatesOrAdds) {
    auto doc = parse_xml("<TARN><A>1</A></TARN>");
    EXPECT_EQ(0, cutil_xml_set(doc.get(), " 2 ", "TARN/A"));
    EXPECT_STREQ("2", cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(0, cutil_xml_set(doc.get(), nullptr, "TARN/A"));
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(1, cutil_xml_set(doc.get(), "b", "TARN/B"));
    EXPECT_EQ(-1, cutil_xml_set(doc.get(), "x", "TARN/Missing/C"));
    EXPECT_STREQ("b", cutil_xml_get(doc.get(), "TARN/B"));
}

TEST(XmlEdit, SetWithTheNodesOwnTextKeepsIt) {
    auto doc = parse_xml("<TARN><A>  own  </A></TARN>");
    EXPECT_EQ(0, cutil_xml_set(doc.get(), cutil_xml_get(doc.get(), "TARN/A"), "TARN/A"));
    EXPECT_STREQ("own", cutil_xml_get(doc.get(), "TARN/A"));
}

TEST(XmlEdit, DeleteUnlinksTheNodeWithItsSubtree) {
    auto doc = parse_xml("<TARN><A>1<X><Y/></X></A><A>2</A><A>3</A></TARN>");
    EXPECT_EQ(-1, cutil_xml_delete(doc.get(), "TARN"));
    EXPECT_EQ(-1, cutil_xml_delete(doc.get(), "TARN/B"));
    EXPECT_EQ(0, cutil_xml_delete(doc.get(), "TARN/A[1]"));
    EXPECT_STREQ("2", cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(0, cutil_xml_delete(doc.get(), "TARN/A[2]"));  // the last child
    EXPECT_EQ(2, cutil_xml_add(doc.get(), "4", "TARN/A"));
    EXPECT_EQ("<TARN>\r\n\t<A>2</A>\r\n\t<A>4</A>\r\n</TARN>\r\n", export_body(doc.get()));

    XmlNode* a = cutil_xml_find(doc.get(), "TARN/A");
    EXPECT_EQ(-1, cutil_xml_delete(a, "A"));    // the start node itself
    EXPECT_EQ(0, cutil_xml_delete(a, "A[2]"));  // a sibling after the start
    EXPECT_EQ(1, cutil_xml_count(doc.get(), "TARN/A"));
}

TEST(XmlEdit, CopyChildrenAppendsDeepCopies) {
    auto source = parse_xml("<TARN><R k=\"v\" a=\"b\">r<S>s</S></R><Q/></TARN>");
    auto destination = parse_xml("<TARN><Result><ItemID>7</ItemID></Result></TARN>");
    XmlNode* result = cutil_xml_find(destination.get(), "TARN/Result");
    EXPECT_EQ(result, cutil_xml_copy_children(result, source.get()));
    EXPECT_EQ(
        "<TARN>\r\n\t<Result>\r\n\t\t<ItemID>7</ItemID>\r\n"
        "\t\t<R k=\"v\" a=\"b\">r\r\n\t\t\t<S>s</S>\r\n\t\t</R>\r\n\t\t<Q></Q>\r\n"
        "\t</Result>\r\n</TARN>\r\n",
        export_body(destination.get()));
    // Every copy has its own strings and correct parent links.
    XmlNode* s = cutil_xml_find(destination.get(), "TARN/Result/R/S");
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(cutil_xml_find(destination.get(), "TARN/Result/R"), s->parent);
    EXPECT_NE(cutil_xml_find(source.get(), "TARN/R/S")->name, s->name);
    EXPECT_EQ(nullptr, cutil_xml_get(destination.get(), "TARN/Result/Q"));  // none stays none

    auto leaf = parse_xml("<TARN/>");
    EXPECT_EQ(result, cutil_xml_copy_children(result, leaf.get()));
    EXPECT_EQ(nullptr, cutil_xml_copy_children(nullptr, source.get()));
}

TEST(XmlEdit, CopyIntoItselfCopiesTheChildrenAsTheyWere) {
    auto doc = parse_xml("<TARN><A>1<B>2</B></A></TARN>");
    XmlNode* root = doc.get();
    EXPECT_EQ(root, cutil_xml_copy_children(root, root));
    EXPECT_EQ(2, cutil_xml_count(root, "TARN/A"));
    XmlNode* b = cutil_xml_find(root, "TARN/A/B");
    EXPECT_EQ(b, cutil_xml_copy_children(b, root));  // destination inside the source
    EXPECT_EQ(
        "<TARN>\r\n\t<A>1\r\n\t\t<B>2\r\n\t\t\t<A>1\r\n\t\t\t\t<B>2</B>\r\n\t\t\t</A>\r\n"
        "\t\t\t<A>1\r\n\t\t\t\t<B>2</B>\r\n\t\t\t</A>\r\n\t\t</B>\r\n\t</A>\r\n"
        "\t<A>1\r\n\t\t<B>2</B>\r\n\t</A>\r\n</TARN>\r\n",
        export_body(root));
}

}  // namespace
