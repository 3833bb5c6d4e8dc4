#include "autocheck/runtime/check_page.h"

#include <cstdio>
#include <cstring>

#include "interface/assistant_dir.h"
#include "interface/config_access.h"

namespace autocheck {

bool check_page_url(char* url) {
    char check_url[kPathSize] = "";
    ReadConfigText("CheckUrl", check_url, sizeof check_url);
    if (check_url[0] == '\0') return false;
    const char* mark =
        std::strchr(check_url, '?') != nullptr ? "&from=assistant" : "?from=assistant";
    std::snprintf(url, kCheckPageUrlSize, "%s%s", check_url, mark);
    return true;
}

}  // namespace autocheck
