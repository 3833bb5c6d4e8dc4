// What the assistant host does for each kind of start.
#pragma once

#include <string>

#include "interface/desktop_link.h"

namespace assistant {

inline constexpr char kTraceSource[] = "TarnAssistant.cpp";
// The logon-start entry; the desktop link's key and names are the gateway's
// (interface/desktop_link.h), shared with the running agent.
inline constexpr char kAutostartName[] = "TarnAssistant";
inline constexpr const char* kLinkNameKey = gateway::kDeskLinkNameKey;

// The running program's folder with its trailing separator ("\" on Windows,
// "/" on POSIX), and the program's own path.
std::string own_folder();
std::string own_path();

// Loads the sibling modules of `folder`: configuration, log, communication,
// tray, runtime check. A missing one is traced and left out; the library
// copes.
void load_siblings(const std::string& folder);

// Loads the agent library of `folder` and calls its Init and Start. False
// when the library cannot be loaded or has no Init/Start.
bool start_agent(const std::string& folder);

// The logon start with "-logon", pointing at this program.
void register_autostart();

// "-cl:<name>": the desktop link to this program (no switch: a start by hand
// opens the check page), its name kept for the uninstallation.
void make_desktop_link(const std::string& folder, const std::string& name);

// "-u": ends the other assistant, removes the logon start, the desktop link
// and the product's settings from the assistant directory; keeps the logs,
// the modules and the programs.
void uninstall();

}  // namespace assistant
