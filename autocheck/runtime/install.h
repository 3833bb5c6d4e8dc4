// Installation from the server's policy packet: the export the installer
// calls through the assistant process.
#pragma once

#include "os/compiler.h"

// Forwards the packet to a running assistant (device registration) or
// stores its settings and starts TarnAssistant.exe for installation.
// 1 when done; 0 on failure, *error_message then receiving a text block the
// caller frees with GlobalFree (os::global_free). Standard calling
// convention, exported undecorated.
QUARN_EXPORT int QUARN_STDCALL InstallTarnAssistant(const char* packet, char** error_message);
