// Replays the XML fuzz target's seed corpus: every document there keeps the
// round-trip, path and export invariants (fuzz/xml_round_trip.h).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/xml_round_trip.h"

namespace {

TEST(XmlCorpus, EverySeedKeepsTheInvariants) {
    const std::filesystem::path folder(QUARN_XML_CORPUS_DIR);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) GTEST_SKIP() << "no corpus at " << folder;
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::ifstream in(entry.path(), std::ios::binary | std::ios::ate);
        std::string text(static_cast<std::size_t>(in.tellg()), '\0');
        in.seekg(0);
        in.read(&text[0], static_cast<std::streamsize>(text.size()));
        for (std::size_t seed : {0u, 1u, 37u, 1000u}) {
            EXPECT_EQ("", quarn::fuzz::check_xml_round_trip(text.c_str(), seed))
                << entry.path().filename() << " cut " << seed;
        }
        XmlUntrackedDocument doc(cutil_xml_import_fre(text.c_str()));
        documents += doc ? 1 : 0;
    }
    EXPECT_GE(documents, 10);
}

}  // namespace
