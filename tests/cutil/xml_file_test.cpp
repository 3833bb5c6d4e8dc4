// Documents read from and written to files, with the two failure traces, and
// the file writer's escaping against the buffer export's.
#include <gtest/gtest.h>

#include <string>

#include "cutil/xml.h"
#include "cutil/xml_testing.h"
#include "tests/cutil/file_test_folder.h"
#include "tests/cutil/trace_test_support.h"
#include "tests/cutil/xml_test_support.h"

namespace {

using quarn::test::export_xml;
using quarn::test::parse_xml;

// Any trace of this process fails a test that expects none.
using XmlFile = quarn::test::TraceRingTestOn<quarn::test::FileTestFolder>;

TEST_F(XmlFile, WrittenFileIsTheExportWithQuotesInTextsEscaped) {
    auto doc = parse_xml("<TARN a=\"&quot;\"><Msg>他说 &quot;好&quot; &amp; 走</Msg></TARN>");
    const std::string file = path("one/two/SecurityCheckPolicy.xml");
    ASSERT_EQ(0, cutil_xml_export_to_file(file.c_str(), doc.get()));
    std::string expected = export_xml(doc.get());
    EXPECT_NE(std::string::npos, expected.find("他说 \"好\" &amp; 走"));
    expected.replace(expected.find("\"好\""), 4, "&quot;好&quot;");
    EXPECT_EQ(expected, read_file(file));

    XmlUntrackedDocument back(cutil_xml_import_from_file_fre(file.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ("他说 \"好\" & 走", cutil_xml_get(back.get(), "TARN/Msg"));
    EXPECT_STREQ("\"", back->attributes[0].value);

    // Without a path the same text goes to the standard error stream.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, cutil_xml_export_to_file(nullptr, doc.get()));
    std::string written = ::testing::internal::GetCapturedStderr();
    // The Windows C runtime writes the stream in text mode: LF gains a CR.
    for (std::size_t at = written.find("\r\r\n"); at != std::string::npos;
         at = written.find("\r\r\n")) {
        written.erase(at, 1);
    }
    EXPECT_EQ(expected, written);
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

TEST_F(XmlFile, ReadingTurnsCrLfIntoLfAndFindsNothingInEmptyFilesUntraced) {
    const std::string file = path("crlf.xml");
    ASSERT_TRUE(write_file(file, "<TARN>\r\n<A>line 1\r\nline 2\rx\r\n</A>\r\n</TARN>\r\n"));
    XmlUntrackedDocument doc(cutil_xml_import_from_file_fre(file.c_str()));
    EXPECT_STREQ("line 1\nline 2\rx", cutil_xml_get(doc.get(), "TARN/A"));

    ASSERT_TRUE(write_file(path("empty.xml"), ""));
    ASSERT_TRUE(write_file(path("tagless.xml"), "no tags here"));
    for (const char* name : {"missing.xml", "empty.xml", "tagless.xml", ""}) {
        EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(path(name).c_str())) << name;
    }
    EXPECT_EQ(nullptr, cutil_xml_import_from_file_fre(nullptr));
    EXPECT_TRUE(drain().empty());
}

TEST_F(XmlFile, UncreatableFileIsTracedAndGivesMinusOne) {
    auto doc = parse_xml("<TARN/>");
    // A directory stands where the file should be created.
    ASSERT_EQ(0, cutil_xml_export_to_file(path("taken/x.xml").c_str(), doc.get()));
    const std::string target = path("taken");
    EXPECT_EQ(-1, cutil_xml_export_to_file(target.c_str(), doc.get()));
    EXPECT_EQ(-1, cutil_xml_export_to_file(path("y.xml").c_str(), nullptr));
    const auto traces = drain();
    ASSERT_EQ(1u, traces.size());
    EXPECT_EQ(1u, traces[0].level);
    EXPECT_EQ("cutil_xml_export_to_file", traces[0].function);
    // The trace channel appends the system's error text to error records.
    EXPECT_EQ(0u, traces[0].message.rfind("create xml file " + target, 0));
    EXPECT_FALSE(exists(path("y.xml")));
}

}  // namespace
