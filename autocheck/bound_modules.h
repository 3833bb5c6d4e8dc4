// Process-wide state set up at start-up: the entry points bound by Init
// (kept for the life of the process, never released) and the handle of the
// check-page dialog last opened.
#pragma once

#include "interface/sibling_abi.h"
#include "os/types.h"

extern sibling::HttpDownloadFileFunction HttpDownloadFile;
extern sibling::HttpGetFunction HttpGet;
extern sibling::HttpPostFunction HttpPost;
// Bound only: device information is asked through CallOneModuleFuncA.
extern sibling::PluginFunction GetDeviceInfo;
extern sibling::GetAllUsbKeyCertFunction GetAllUsbKeyCert;

// The process of the most recently opened check-page dialog, or null.
extern os::Handle CheckPageProcess;
