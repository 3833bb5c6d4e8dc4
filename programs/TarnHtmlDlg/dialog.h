// What the page dialog does with its command line: show the page in the
// platform's browser view, or hand it to the default browser when no view
// can be made.
#pragma once

#include <cstdint>
#include <string>

namespace html_dlg {

enum ExitCode : int {
    kExitDone = 0,            // the window closed, or the page went to the browser
    kExitBadCommandLine = 2,  // nothing shown
    kExitNotShown = 3,        // no view, and the page could not be handed over
    kExitRefused = 4,         // an address that is neither a web page nor a local page file
};

// Names a command that stands in for the default browser: a program, then
// optional arguments; the page address is appended as one more argument.
inline constexpr char kBrowserVariable[] = "QUARN_HTMLDLG_BROWSER";

// A hidden dialog nobody brings up ends after this long: the agent waits for
// the automatic repair dialog without a limit of its own.
inline constexpr std::uint32_t kHiddenLimitMs = 15u * 60u * 1000u;

int run_dialog(const std::string& parameters);

}  // namespace html_dlg
