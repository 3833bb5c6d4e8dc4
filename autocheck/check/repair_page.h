// The repair page: a local form that posts a failed check result to the
// server's submit address, shown in the page dialog.
#pragma once

#include "os/types.h"

struct XmlNode;

inline constexpr char kAutoRepairTitle[] = "入网小助手-自动修复";
inline constexpr char kManualRepairTitle[] = "入网小助手-手动修复";

// Writes RepairPage.html from the check result and opens it in the page
// dialog: hidden with a tray icon for automatic repair (`automatic` not 0),
// maximized for manual repair, hidden without an icon in do-not-disturb
// mode. *process (when given) receives the dialog's process handle, which
// the caller waits on and closes; it is untouched when no dialog started.
void OpenRepairPage(const XmlNode* result, int automatic, os::Handle* process);
