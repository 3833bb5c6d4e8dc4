// The page dialog program started the way the agent library starts it
// (shell "open" with the parameter text), with its traces collected.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cutil/trace_ring.h"

namespace page_dialog_test {

// The file the stand-in browser writes the address it was given to.
inline constexpr char kBrowserRecordVariable[] = "QUARN_TEST_BROWSER_RECORD";

class PageDialogProcess : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts TarnHtmlDlg.exe with `parameters`; its exit code, or -1 when it
    // did not end within `timeout_ms` (it is then ended).
    int run(const std::string& parameters, unsigned timeout_ms = 60000);
    // Messages the dialog traced, in order.
    std::vector<std::string> messages();
    bool traced(const std::string& prefix);
    // Every message so far, one a line, for failure output.
    std::string transcript() {
        std::string text;
        for (const std::string& message : messages()) text += message + "\n";
        return text;
    }
    void clear_messages() {
        messages();
        messages_.clear();
    }
    // What the stand-in browser was asked to open; empty when it never ran.
    std::string browser_request();

    std::filesystem::path folder_;

  private:
    cutil::trace::Reader reader_;
    std::vector<std::string> messages_;
};

std::string command_line(const std::string& url, const char* title, int width, int height, int tray,
                         const char* message);

}  // namespace page_dialog_test
