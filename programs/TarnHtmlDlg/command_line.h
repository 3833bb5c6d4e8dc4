// The page dialog's command line, exactly as the agent library writes it:
//   Url="<page>" Icon="<icon file>" Title=<title> Width=<n> Height=<n>
//   ShowSysIcon=<0|1> SysIconMsg="<tray message>"
// The title stands bare and may hold blanks: it runs up to " Width=".
#pragma once

#include <string>

namespace html_dlg {

inline constexpr char kTraceSource[] = "TarnHtmlDlg.cpp";

// Sizes the dialog accepts; -1 in either dimension hides the dialog, 0 asks
// for the default size.
inline constexpr int kHiddenSize = -1;
inline constexpr int kMaxSize = 32767;

struct DialogRequest {
    std::string url;  // address or local file path, never empty
    std::string icon;
    std::string title;
    int width = 0;
    int height = 0;
    bool show_tray_icon = false;
    std::string tray_message;

    bool hidden() const { return width == kHiddenSize || height == kHiddenSize; }
};

// Parses the parameter text (the command line without the program). False
// with *error naming the first fault; *request is then unspecified.
bool parse_command_line(const std::string& text, DialogRequest* request, std::string* error);

// The keys whose values the library writes in quotes; a launcher that splits
// the line into arguments (POSIX) loses those quotes and they are put back.
inline constexpr const char* kQuotedKeys[] = {"Url", "Icon", "SysIconMsg", nullptr};

}  // namespace html_dlg
