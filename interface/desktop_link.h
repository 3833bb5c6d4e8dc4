// The desktop link to the assistant program, made where the installation asks
// for one: the assistant started with "-cl:<name>", or the running assistant
// applying an installation packet forwarded to it.
#pragma once

namespace gateway {

// The configuration key that remembers the link, so that uninstalling removes
// what installing made.
inline constexpr char kDeskLinkNameKey[] = "DeskLinkName";
// The link's name when the installation gives none.
inline constexpr char kDefaultDeskLinkName[] = "入网小助手";
inline constexpr char kAssistantIconFile[] = "TarnAssistant.ico";

// The link `name` (the default when null or empty) to `program_path` without
// switches (a start by hand opens the check page), with `icon_path`; its name
// stored under kDeskLinkNameKey. False, traced, when the link cannot be made.
bool make_desktop_link(const char* name, const char* program_path, const char* icon_path);

}  // namespace gateway
