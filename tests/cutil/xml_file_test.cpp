// Documents read from and written to files, with the two failure traces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cutil/trace.h"
#include "cutil/trace_ring.h"
#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "os/process.h"
#include "tests/cutil/file_test_folder.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_xml;
using quarn::test::parse_xml;

class XmlFile : public quarn::test::FileTestFolder {
  protected:
    // This process's traces of the Cutil_Xml source since the reader started.
    std::vector<cutil::trace::DecodedRecord> xml_traces() {
        std::vector<cutil::trace::Record> all;
        EXPECT_TRUE(reader_.drain(&all));
        std::vector<cutil::trace::DecodedRecord> mine;
        for (const auto& record : all) {
            auto decoded = cutil::trace::decode(record);
            if (decoded.process_id == os::process_id() && decoded.source == "Cutil_Xml") {
                mine.push_back(decoded);
            }
        }
        return mine;
    }
    void start_reader() {
        ASSERT_TRUE(reader_.create());
        std::vector<cutil::trace::Record> stale;
        reader_.drain(&stale);
    }
    cutil::trace::Reader reader_;
};

TEST_F(XmlFile, WrittenFileIsTheExportWithQuotesInTextsEscaped) {
    auto doc = parse_xml("<TARN a=\"&quot;\"><Msg>他说 &quot;好&quot; &amp; 走</Msg></TARN>");
    const std::string file = path("one/two/SecurityCheckPolicy.xml");
    ASSERT_EQ(0, cutil_xml_export_to_file(file.c_str(), doc.get()));
    EXPECT_TRUE(is_directory(path("one/two")));
    std::string expected = export_xml(doc.get());
    EXPECT_NE(std::string::npos, expected.find("他说 \"好\" &amp; 走"));
    expected.replace(expected.find("\"好\""), 4, "&quot;好&quot;");
    EXPECT_EQ(expected, read_file(file));

    XmlUntrackedDocument back(cutil_xml_import_from_file_fre(file.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ("他说 \"好\" & 走", cutil_xml_get(back.get(), "TARN/Msg"));
    EXPECT_STREQ("\"", back->attributes[0].value);
}

TEST_F(XmlFile, ExhaustedHeapStillWritesTheWholeFileButReadsNothing) {
    auto doc =
        parse_xml("<TARN a=\"&lt;&amp;\"><A>x &amp;amp;lt; &quot;y&quot; &amp; z</A></TARN>");
    const std::string normal = path("normal.xml");
    const std::string starved = path("starved.xml");
    ASSERT_EQ(0, cutil_xml_export_to_file(normal.c_str(), doc.get()));
    cutil_xml_testing_fail_allocations([](std::size_t) { return true; });
    EXPECT_EQ(0, cutil_xml_export_to_file(starved.c_str(), doc.get()));
    XmlNode* read = cutil_xml_import_from_file_fre(normal.c_str());
    cutil_xml_testing_fail_allocations(nullptr);
    EXPECT_EQ(nullptr, read);
    EXPECT_EQ(read_file(normal), read_file(starved));
}

TEST_F(XmlFile, CrLfIsReadAsLf) {
    const std::string file = path("crlf.xml");
    ASSERT_TRUE(write_file(file, "<TARN>\r\n<A>line 1\r\nline 2\rx\r\n</A>\r\n</TARN>\r\n"));
    XmlUntrackedDocument doc(cutil_xml_import_from_file_fre(file.c_str()));
    ASSERT_TRUE(doc);
    EXPECT_STREQ("line 1\nline 2\rx", cutil_xml_get(doc.get(), "TARN/A"));
}

TEST_F(XmlFile, MissingEmptyOrTaglessFilesGiveNoDocumentAndNoTrace) {
    start_reader();
    const std::string empty = path("empty.xml");
    const std::string tagless = path("tagless.xml");
    ASSERT_TRUE(write_file(empty, ""));
    ASSERT_TRUE(write_file(tagless, "no tags here"));
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(path("missing.xml").c_str()));
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(empty.c_str()));
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(tagless.c_str()));
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(folder_.c_str()));  // a directory
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(nullptr));
    EXPECT_TRUE(xml_traces().empty());
}

TEST_F(XmlFile, UncreatableFileIsTracedAndGivesMinusOne) {
    start_reader();
    auto doc = parse_xml("<TARN/>");
    // A directory stands where the file should be created.
    ASSERT_EQ(0, cutil_xml_export_to_file(path("taken/x.xml").c_str(), doc.get()));
    const std::string target = path("taken");
    EXPECT_EQ(-1, cutil_xml_export_to_file(target.c_str(), doc.get()));
    EXPECT_EQ(-1, cutil_xml_export_to_file(path("y.xml").c_str(), nullptr));
    const auto traces = xml_traces();
    ASSERT_EQ(1u, traces.size());
    EXPECT_EQ(1u, traces[0].level);
    EXPECT_EQ("cutil_xml_export_to_file", traces[0].function);
    // The trace channel appends the system's error text to error records.
    const std::string expected = "create xml file " + target;
    EXPECT_EQ(expected, traces[0].message.substr(0, expected.size()));
    EXPECT_FALSE(exists(path("y.xml")));
}

TEST_F(XmlFile, WithoutAPathTheDocumentGoesToStandardError) {
    auto doc = parse_xml("<TARN><A>\"x\"</A></TARN>");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, cutil_xml_export_to_file(nullptr, doc.get()));
    std::string written = ::testing::internal::GetCapturedStderr();
    // The Windows C runtime writes the stream in text mode: LF gains a CR.
    for (std::size_t at = written.find("\r\r\n"); at != std::string::npos;
         at = written.find("\r\r\n")) {
        written.erase(at, 1);
    }
    EXPECT_EQ(
        "<?xml version=\"1.0\" encoding=\"gbk\"?>\r\n<TARN>\r\n\t<A>&quot;x&quot;</A>\r\n"
        "</TARN>\r\n",
        written);
}

}  // namespace
