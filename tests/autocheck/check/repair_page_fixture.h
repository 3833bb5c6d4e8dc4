// What the repair page tests share: an assistant directory holding the page
// dialog double (it records its command line and ends at once), the
// configuration and user-log doubles, and the two-entry check result.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cutil/xml.h"
#include "os/types.h"
#include "tests/fakes/assistant_home.h"
#include "tests/fakes/fake_module.h"
#include "tests/fakes/trace_capture.h"

namespace repair_test {

// The first item's message as stored: line breaks, and every character an
// attribute value may not carry raw.
inline constexpr char kMessage[] = "第一行\r\n第二行 'q' \"d\" a&b<c>";
inline constexpr char kPassword[] = "p'w\"&<>d";

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// One hidden input of the page as the template writes it.
std::string hidden(const char* name, const std::string& value);

class RepairPageTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // ItemIDs 11 and 12, the first with kMessage, CheckUsedSecond 9.
    static XmlDocument two_entry_result();
    // Writes config_ (a null value leaves the key out) to the store.
    void apply_config();
    // Runs OpenRepairPage; returns the dialog's process handle after the
    // dialog ended, or `untouched` when none was handed back.
    os::Handle open_page(const XmlNode* result, int automatic, os::Handle untouched = nullptr);
    // The page file's bytes.
    std::string page() const;
    // What the dialog double recorded, one line per start: its command line
    // from "Title=" on, quotes dropped.
    std::string dialog_record() const;

    quarn::test::AssistantHome home_;
    quarn::test::FakeModule config_store_;
    quarn::test::FakeModule log_;
    quarn::test::TraceCapture traces_;
    // Configuration values by key: the set a registered, authenticated
    // endpoint has.
    std::map<std::string, const char*> config_;
    char user_[64] = "";
    char password_[64] = "";
};

}  // namespace repair_test
