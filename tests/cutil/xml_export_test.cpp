// The text form: escaping, the header, sizing and partial writes, exporting
// a node inside a document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cutil/xml.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_body;
using quarn::test::export_xml;
using quarn::test::parse_xml;

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n";

TEST(XmlExport, EscapesNamesAttributesAndTexts) {
    auto doc = parse_xml("<TARN/>");
    ASSERT_TRUE(doc);
    cutil_xml_add(doc.get(), "a &amp;lt; b < c & d &AMP; e > \"q\"", "TARN/T");
    XmlNode* t = cutil_xml_find(doc.get(), "TARN/T");
    ASSERT_NE(nullptr, t);
    // A literal "&lt;" (from a doubly encoded input) is left as it is.
    EXPECT_STREQ("a &lt; b < c & d &AMP; e > \"q\"", t->text);
    EXPECT_EQ("<TARN>\r\n\t<T>a &lt; b &lt; c &amp; d &AMP; e &gt; \"q\"</T>\r\n</TARN>\r\n",
              export_body(doc.get()));
    auto attributes = parse_xml("<TARN v=\"&lt;x&quot;&gt;\" q&quot;=\"&amp;\"/>");
    EXPECT_EQ("<TARN v=\"&lt;x&quot;&gt;\" q&quot;=\"&amp;\"></TARN>\r\n",
              export_body(attributes.get()));
}

TEST(XmlExport, SizingAndExactBuffer) {
    auto doc = parse_xml("<TARN><A>1</A></TARN>");
    const std::string expected = std::string(kHeader) + "<TARN>\r\n\t<A>1</A>\r\n</TARN>\r\n";
    const int size = cutil_xml_export(doc.get(), nullptr, 0);
    EXPECT_EQ(static_cast<int>(expected.size()) + 1, size);
    EXPECT_EQ(size, cutil_xml_export(doc.get(), nullptr, 100));
    std::vector<char> buffer(static_cast<std::size_t>(size), 'x');
    EXPECT_EQ(size, cutil_xml_export(doc.get(), buffer.data(), 0));
    EXPECT_EQ('x', buffer[0]);
    EXPECT_EQ(size - 1, cutil_xml_export(doc.get(), buffer.data(), size));
    EXPECT_EQ(expected, std::string(buffer.data()));
    EXPECT_EQ('\0', buffer.back());
}

TEST(XmlExport, ShortBufferGetsWholePiecesAndTheFullSize) {
    auto doc = parse_xml("<TARN a=\"1\" b=\"2\"><Item>text</Item></TARN>");
    const std::string full = export_xml(doc.get());
    const int size = static_cast<int>(full.size()) + 1;
    // Every cut lies between pieces, and the rest of the buffer is zero.
    const std::vector<std::string> cuts = {
        kHeader,
        std::string(kHeader) + "<TARN",
        std::string(kHeader) + "<TARN a=\"1\"",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">\r\n",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">\r\n\t",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">\r\n\t<Item>",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">\r\n\t<Item>text",
        std::string(kHeader) + "<TARN a=\"1\" b=\"2\">\r\n\t<Item>text</Item>\r\n"};
    for (const std::string& cut : cuts) {
        for (int extra = 1; extra <= 2; ++extra) {
            const int buffer_size = static_cast<int>(cut.size()) + extra;
            if (buffer_size >= size) continue;
            std::vector<char> buffer(static_cast<std::size_t>(buffer_size), 'x');
            EXPECT_EQ(size, cutil_xml_export(doc.get(), buffer.data(), buffer_size));
            const std::string written(buffer.data());
            EXPECT_EQ(0, full.compare(0, written.size(), written));
            if (extra == 1) {
                EXPECT_EQ(cut, written);
            }
            EXPECT_LE(written.size(), cut.size() + 1);
            for (std::size_t i = written.size(); i < buffer.size(); ++i) ASSERT_EQ('\0', buffer[i]);
        }
    }
    // A buffer one byte short of the output never writes its last byte.
    std::vector<char> buffer(full.size(), 'x');
    EXPECT_EQ(size, cutil_xml_export(doc.get(), buffer.data(), static_cast<int>(full.size())));
    EXPECT_EQ(full.substr(0, full.size() - 2), std::string(buffer.data()));  // no last "\r\n"
}

TEST(XmlExport, ANodeInsideADocumentIsWrittenWithTheSiblingsAfterIt) {
    auto doc = parse_xml("<TARN><A>1<X/></A><B>2</B></TARN>");
    EXPECT_EQ("<A>1\r\n\t<X></X>\r\n</A>\r\n<B>2</B>\r\n",
              export_body(cutil_xml_find(doc.get(), "TARN/A")));
    EXPECT_EQ("<B>2</B>\r\n", export_body(cutil_xml_find(doc.get(), "TARN/B")));
}

TEST(XmlExport, DeepDocumentWhoseLengthExceedsAnIntGivesMinusOne) {
    // 70,000 levels indent to about 4.9e9 tabs: not representable.
    std::string text;
    for (int i = 0; i < 70000; ++i) text += "<N>";
    auto doc = parse_xml(text.c_str());
    ASSERT_TRUE(doc);
    EXPECT_EQ(-1, cutil_xml_export(doc.get(), nullptr, 0));
}

}  // namespace
