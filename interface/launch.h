// Starting the product's programs through the shell, and the page dialog.
#pragma once

#include "os/types.h"

// Starts `program` with the shell's "open" verb (SEE_MASK_NOCLOSEPROCESS,
// SEE_MASK_FLAG_DDEWAIT, SEE_MASK_FLAG_NO_UI). The process handle goes to
// *process when it is given (the caller closes it) and is closed otherwise.
// 1 when started, 0 when the shell refused.
int LaunchProgram(os::Handle* process, const char* program, const char* parameters, int show_state);

// Opens `url` in TarnHtmlDlg.exe of the assistant directory with the command
// line "Url=\"…\" Icon=\"…\" Title=… Width=%d Height=%d ShowSysIcon=%d
// SysIconMsg=\"…\"" (the title is not quoted). Width and height -1 hide the
// dialog, 0 give its default size; show state 0 hidden, 1 normal, 3
// maximized. 1 when the dialog was started, else 0.
int OpenUrlInTarnHtmlDlg(const char* title, const char* tray_message, const char* url,
                         os::Handle* process, int width, int height, int show_state,
                         int show_tray_icon);
