// The agent library as its callers reach it: QuarnAssAutoCheck.dll loaded
// from quarnctl's own folder, else from the assistant directory, and its
// exports called by name. Commands that act as the assistant's pages do
// (install, users, switch) go through here, so they exercise the same
// entry points.
#pragma once

#include <string>

#include "os/compiler.h"

namespace quarnctl {

// InstallTarnAssistant, UserSwitchAddUser, GetUserSwitchList, SwitchUser:
// a request text in, a global-memory text out.
using TextExport = int(QUARN_STDCALL*)(const char* request, char** out);

// The export, or null after a message on stderr naming what is missing.
TextExport agent_export(const char* command, const char* name);

// Calls `function` and hands back its result and out text (GBK, freed here).
struct TextResult {
    int result = 0;
    std::string text;
};
TextResult call_text_export(TextExport function, const char* request);

}  // namespace quarnctl
