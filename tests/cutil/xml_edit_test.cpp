// Building and changing documents (add, set, delete, copying children) and
// their text form (escaping, sizing and partial writes, a node inside a
// document).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cutil/xml.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_body;
using quarn::test::export_xml;
using quarn::test::parse_xml;

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";

TEST(XmlEdit, AddAppendsAndReturnsTheOrdinalAmongSameNamedSiblings) {
    auto doc = parse_xml("<TARN></TARN>");
    EXPECT_EQ(1, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "x", "TARN/Other"));
    EXPECT_EQ(2, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(3, cutil_xml_add(doc.get(), nullptr, "TARN/UserInfo"));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "李四", "TARN/UserInfo[%d]/UserName", 3));
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "TARN/UserInfo[1]"));  // added without text
    EXPECT_EQ(
        "<TARN>\r\n\t<UserInfo></UserInfo>\r\n\t<Other>x</Other>\r\n\t<UserInfo></UserInfo>\r\n"
        "\t<UserInfo>\r\n\t\t<UserName>李四</UserName>\r\n\t</UserInfo>\r\n</TARN>\r\n",
        export_body(doc.get()));
    // Stored strings are decoded and stripped, names as well.
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "  a &lt;b&gt; &amp;amp; &quot;q&quot;\r\n", "TARN/ T "));
    EXPECT_STREQ("a <b> & \"q\"", cutil_xml_get(doc.get(), "TARN/T"));
}

TEST(XmlEdit, AddRefusesWithoutAResolvingParent) {
    auto doc = parse_xml("<TARN></TARN>");
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "TARN/Missing/Name"));
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "TARN"));  // no "/"
    EXPECT_EQ(-1, cutil_xml_add(doc.get(), "x", "/Name"));
    EXPECT_EQ("<TARN></TARN>\r\n", export_body(doc.get()));
    EXPECT_EQ(1, cutil_xml_add(doc.get(), "x", "/TARN/Name"));
}

TEST(XmlEdit, SetUpdatesOrAdds) {
    auto doc = parse_xml("<TARN><A>  own  </A></TARN>");
    // The node's own text as the new one is kept.
    EXPECT_EQ(0, cutil_xml_set(doc.get(), cutil_xml_get(doc.get(), "TARN/A"), "TARN/A"));
    EXPECT_STREQ("own", cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(0, cutil_xml_set(doc.get(), " 2 ", "TARN/A"));
    EXPECT_STREQ("2", cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(0, cutil_xml_set(doc.get(), nullptr, "TARN/A"));
    EXPECT_EQ(nullptr, cutil_xml_get(doc.get(), "TARN/A"));
    EXPECT_EQ(1, cutil_xml_set(doc.get(), "b", "TARN/B"));
    EXPECT_EQ(-1, cutil_xml_set(doc.get(), "x", "TARN/Missing/C"));
    EXPECT_STREQ("b", cutil_xml_get(doc.get(), "TARN/B"));
}

TEST(XmlEdit, DeleteUnlinksTheNodeWithItsSubtree) {
    auto doc = parse_xml("<TARN><A>1<X><Y/></X></A><A>2</A><A>3</A></TARN>");
    EXPECT_EQ(-1, cutil_xml_delete(doc.get(), "TARN"));
    EXPECT_EQ(-1, cutil_xml_delete(doc.get(), "TARN/B"));
    EXPECT_EQ(0, cutil_xml_delete(doc.get(), "TARN/A[1]"));
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
    EXPECT_EQ(nullptr, cutil_xml_copy_children(nullptr, source.get()));

    // Into itself, or into a node inside the source: the children as they were.
    auto doc = parse_xml("<TARN><A>1<B>2</B></A></TARN>");
    XmlNode* root = doc.get();
    EXPECT_EQ(root, cutil_xml_copy_children(root, root));
    XmlNode* b = cutil_xml_find(root, "TARN/A/B");
    EXPECT_EQ(b, cutil_xml_copy_children(b, root));
    EXPECT_EQ(
        "<TARN>\r\n\t<A>1\r\n\t\t<B>2\r\n\t\t\t<A>1\r\n\t\t\t\t<B>2</B>\r\n\t\t\t</A>\r\n"
        "\t\t\t<A>1\r\n\t\t\t\t<B>2</B>\r\n\t\t\t</A>\r\n\t\t</B>\r\n\t</A>\r\n"
        "\t<A>1\r\n\t\t<B>2</B>\r\n\t</A>\r\n</TARN>\r\n",
        export_body(root));
}

TEST(XmlExport, EscapesNamesAttributesAndTexts) {
    auto doc = parse_xml("<TARN/>");
    cutil_xml_add(doc.get(), "a &amp;lt; b < c & d &AMP; e > \"q\"", "TARN/T");
    // A literal "&lt;" (from a doubly encoded input) is left as it is.
    EXPECT_STREQ("a &lt; b < c & d &AMP; e > \"q\"", cutil_xml_get(doc.get(), "TARN/T"));
    EXPECT_EQ("<TARN>\r\n\t<T>a &lt; b &lt; c &amp; d &AMP; e &gt; \"q\"</T>\r\n</TARN>\r\n",
              export_body(doc.get()));
    auto attributes = parse_xml("<TARN v=\"&lt;x&quot;&gt;\" q&quot;=\"&amp;\"/>");
    EXPECT_EQ("<TARN v=\"&lt;x&quot;&gt;\" q&quot;=\"&amp;\"></TARN>\r\n",
              export_body(attributes.get()));
    // A node inside a document is written with the siblings after it.
    auto inner = parse_xml("<TARN><A>1<X/></A><B>2</B></TARN>");
    EXPECT_EQ("<A>1\r\n\t<X></X>\r\n</A>\r\n<B>2</B>\r\n",
              export_body(cutil_xml_find(inner.get(), "TARN/A")));
}

TEST(XmlExport, SizingExactAndShortBuffers) {
    auto doc = parse_xml("<TARN a=\"1\" b=\"2\"><Item>text</Item></TARN>");
    const std::string body = "<TARN a=\"1\" b=\"2\">\r\n\t<Item>text</Item>\r\n</TARN>\r\n";
    const std::string full = kHeader + body;
    const int size = static_cast<int>(full.size()) + 1;
    EXPECT_EQ(size, cutil_xml_export(doc.get(), nullptr, 0));
    EXPECT_EQ(size, cutil_xml_export(doc.get(), nullptr, 100));
    std::vector<char> exact(static_cast<std::size_t>(size), 'x');
    EXPECT_EQ(size, cutil_xml_export(doc.get(), exact.data(), 0));
    EXPECT_EQ('x', exact[0]);
    EXPECT_EQ(size - 1, cutil_xml_export(doc.get(), exact.data(), size));
    EXPECT_EQ(full, std::string(exact.data()));

    // A short buffer gets the whole pieces that fit, zero after them, and
    // the full size; every cut lies between pieces.
    const std::vector<std::size_t> cuts = {0, 5, 11, 18, 20, 21, 27, 31, 40};
    for (const std::size_t cut : cuts) {
        const std::string expected = kHeader + body.substr(0, cut);
        for (int extra = 1; extra <= 2; ++extra) {
            const int buffer_size = static_cast<int>(expected.size()) + extra;
            std::vector<char> buffer(static_cast<std::size_t>(buffer_size), 'x');
            EXPECT_EQ(size, cutil_xml_export(doc.get(), buffer.data(), buffer_size));
            const std::string written(buffer.data());
            EXPECT_EQ(0, full.compare(0, written.size(), written));
            if (extra == 1) {
                EXPECT_EQ(expected, written);
            }
            EXPECT_LE(written.size(), expected.size() + 1);
            for (std::size_t i = written.size(); i < buffer.size(); ++i) ASSERT_EQ('\0', buffer[i]);
        }
    }
    // Pieces that need escaping are written straight into the buffer: one
    // that does not fit leaves nothing of itself behind, at every size.
    auto escaped = parse_xml("<TARN k=\"&lt;&amp;\"><A>x &amp; &lt;y&gt;</A><B>\"</B></TARN>");
    const int escaped_size = cutil_xml_export(escaped.get(), nullptr, 0);
    std::vector<char> whole(static_cast<std::size_t>(escaped_size));
    cutil_xml_export(escaped.get(), whole.data(), escaped_size);
    const std::string text_piece = "x &amp; &lt;y&gt;";
    const std::size_t text_at = std::string(whole.data()).find(text_piece);
    ASSERT_NE(std::string::npos, text_at);
    for (int cut = 1; cut < escaped_size; ++cut) {
        std::vector<char> part(static_cast<std::size_t>(cut), 'x');
        EXPECT_EQ(escaped_size, cutil_xml_export(escaped.get(), part.data(), cut));
        const std::size_t written = std::strlen(part.data());
        ASSERT_EQ(0, std::memcmp(whole.data(), part.data(), written)) << cut;
        for (std::size_t i = written; i < part.size(); ++i) ASSERT_EQ('\0', part[i]) << cut;
        const auto last = static_cast<std::size_t>(cut) - 1;  // the bytes that may be used
        if (last >= text_at && last < text_at + text_piece.size()) {
            EXPECT_EQ(text_at, written) << cut;
        }
    }
    // A buffer one byte short of the output never writes its last byte.
    std::vector<char> buffer(full.size(), 'x');
    EXPECT_EQ(size, cutil_xml_export(doc.get(), buffer.data(), static_cast<int>(full.size())));
    EXPECT_EQ(full.substr(0, full.size() - 2), std::string(buffer.data()));  // no last "\r\n"
}

}  // namespace
