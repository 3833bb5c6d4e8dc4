// Tracked documents in the monitor's allocation table: registered at the
// root's address plus one with size 1, unregistered when freed; the file
// writer's escape blocks live in the table only while they are used.
#include <gtest/gtest.h>

#include <string>

#include "cutil/memory_table.h"
#include "cutil/xml.h"
#include "os/process.h"
#include "tests/cutil/file_test_folder.h"

namespace {

using namespace cutil::memory;

class XmlTracking : public quarn::test::FileTestFolder {
  protected:
    void SetUp() override {
        FileTestFolder::SetUp();
        ASSERT_TRUE(monitor_.create());
    }
    void TearDown() override {
        monitor_.close();
        FileTestFolder::TearDown();
    }

    // This process's site for `function` at `line` (0: any line).
    Site site(const std::string& function, std::uint32_t line = 0) {
        Snapshot snapshot;
        EXPECT_TRUE(monitor_.snapshot(&snapshot));
        for (const Site& s : snapshot.sites) {
            if (s.process_id == os::process_id() && s.function == function &&
                (line == 0 || s.line == line)) {
                return s;
            }
        }
        return Site{};
    }

    Monitor monitor_;
};

TEST_F(XmlTracking, EveryTrackedFormRegistersAndFreeUnregisters) {
    const std::string file = path("doc.xml");
    {
        XmlUntrackedDocument plain(cutil_xml_import_fre("<TARN/>"));
        ASSERT_EQ(0, cutil_xml_export_to_file(file.c_str(), plain.get()));
    }
    const int line = __LINE__ + 2;
    XmlNode* documents[] = {
        cutil_xml_create(".\\QuarnAssPolicyManager", "UpdateSecurityCheckPolicy", line),
        cutil_xml_import("<TARN/>", "QuarnAssPolicyManager", "UpdateSecurityCheckPolicy", line),
        cutil_xml_import_from_file(file.c_str(), "QuarnAssPolicyManager",
                                   "UpdateSecurityCheckPolicy", line)};
    Site registered = site("UpdateSecurityCheckPolicy", line);
    EXPECT_EQ("QuarnAssPolicyManager", registered.source);
    EXPECT_EQ(3u, registered.registrations);
    EXPECT_EQ(3u, registered.live_bytes);
    ASSERT_EQ(3u, registered.live.size());
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(nullptr, documents[i]);
        // Newest first along the chain.
        EXPECT_EQ(address_field(reinterpret_cast<char*>(documents[i]) + 1),
                  registered.live[2 - i].address);
        EXPECT_EQ(1u, registered.live[2 - i].size);
    }
    for (XmlNode* document : documents) cutil_xml_free(document);
    Site released = site("UpdateSecurityCheckPolicy", line);
    EXPECT_EQ(3u, released.releases);
    EXPECT_EQ(0u, released.live_bytes);
    EXPECT_EQ(3u, released.total_bytes);
    EXPECT_TRUE(released.live.empty());
}

TEST_F(XmlTracking, UntrackedFormsAndEditsRegisterNothing) {
    XmlUntrackedDocument doc(cutil_xml_import_fre("<TARN><A>1</A></TARN>"));
    cutil_xml_add(doc.get(), "2", "TARN/B");
    Snapshot snapshot;
    ASSERT_TRUE(monitor_.snapshot(&snapshot));
    for (const Site& s : snapshot.sites) EXPECT_NE(os::process_id(), s.process_id) << s.function;
}

TEST_F(XmlTracking, FileWriterEscapeBlocksAreReleasedFromTheTable) {
    XmlUntrackedDocument doc(cutil_xml_import_fre("<TARN a=\"1\"><A>x</A><B/></TARN>"));
    ASSERT_EQ(0, cutil_xml_export_to_file(path("w.xml").c_str(), doc.get()));
    const Site writer = site("in_xml_export_file");
    EXPECT_EQ("Cutil_Xml", writer.source);
    // TARN (twice), a, 1, TARN's empty text, A (twice), x, B (twice).
    EXPECT_EQ(10u, writer.registrations);
    EXPECT_EQ(10u, writer.releases);
    EXPECT_EQ(0u, writer.live_bytes);
}

}  // namespace
