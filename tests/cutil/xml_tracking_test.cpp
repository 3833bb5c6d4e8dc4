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

    // This process's sites (for `function` when given).
    std::vector<Site> sites(const std::string& function = "") {
        Snapshot snapshot;
        EXPECT_TRUE(monitor_.snapshot(&snapshot));
        std::vector<Site> mine;
        for (const Site& s : snapshot.sites) {
            if (s.process_id == os::process_id() && (function.empty() || s.function == function)) {
                mine.push_back(s);
            }
        }
        return mine;
    }

    Monitor monitor_;
};

TEST_F(XmlTracking, EveryTrackedFormRegistersAndFreeUnregisters) {
    const std::string file = path("doc.xml");
    XmlUntrackedDocument plain(cutil_xml_import_fre("<TARN><A>1</A></TARN>"));
    cutil_xml_add(plain.get(), "2", "TARN/B");
    ASSERT_EQ(0, cutil_xml_export_to_file(file.c_str(), plain.get()));
    // Untracked forms and edits register nothing; the file writer's escape
    // blocks are all released.
    for (const Site& site : sites()) {
        EXPECT_EQ("in_xml_export_file", site.function);
        EXPECT_EQ("Cutil_Xml.cpp", site.source);
        EXPECT_GT(site.registrations, 0u);
        EXPECT_EQ(site.registrations, site.releases);
        EXPECT_EQ(0u, site.live_bytes);
    }
    ASSERT_EQ(1u, sites().size());

    const char* kFunction = "UpdateSecurityCheckPolicy";
    XmlNode* documents[] = {
        cutil_xml_create(".\\QuarnAssPolicyManager", kFunction, 7),
        cutil_xml_import("<TARN/>", "QuarnAssPolicyManager", kFunction, 7),
        cutil_xml_import_from_file(file.c_str(), "QuarnAssPolicyManager", kFunction, 7)};
    const Site registered = sites(kFunction).at(0);
    EXPECT_EQ("QuarnAssPolicyManager", registered.source);
    EXPECT_EQ(7u, registered.line);
    EXPECT_EQ(3u, registered.registrations);
    ASSERT_EQ(3u, registered.live.size());
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(nullptr, documents[i]);
        // Newest first along the chain.
        EXPECT_EQ(address_field(reinterpret_cast<char*>(documents[i]) + 1),
                  registered.live[2 - i].address);
        EXPECT_EQ(1u, registered.live[2 - i].size);
    }
    for (XmlNode* document : documents) cutil_xml_free(document);
    const Site released = sites(kFunction).at(0);
    EXPECT_EQ(3u, released.releases);
    EXPECT_EQ(0u, released.live_bytes);
    EXPECT_EQ(3u, released.total_bytes);
    EXPECT_TRUE(released.live.empty());
}

}  // namespace
