// The check page: the configured CheckUrl, marked as opened by the assistant.
#pragma once

#include <cstddef>

namespace autocheck {

inline constexpr char kCheckPageTitle[] = "入网小助手-身份认证与安全检查";
// Room for a 259-character CheckUrl and the mark, never cut.
inline constexpr std::size_t kCheckPageUrlSize = 260 + sizeof "&from=assistant";

// CheckUrl (at most 259 characters) followed by "&from=assistant" when it
// holds a "?" already, else "?from=assistant", into `url` of
// kCheckPageUrlSize bytes. False when no check page is configured (absent or
// empty).
bool check_page_url(char* url);

}  // namespace autocheck
