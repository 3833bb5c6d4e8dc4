// The server's answer to an authentication request: free text in which
// RoleID='3' and PolicyID='12' carry the role and the policy assigned.
#include <cstring>

#include "autocheck/identity/credential_auth.h"
#include "cutil/text.h"

namespace {

constexpr std::size_t kIdSize = 64;

// The characters between the first two single quotes after the first `key`
// (any letter case), each key searched from the start of the answer. A value
// longer than 63 characters makes the answer unparsable: a cut ID would name
// another role or policy.
bool quoted_value(const char* answer, const char* key, char* destination) {
    const char* found = cutil_str_istr(answer, key);
    if (found == nullptr) return false;
    const char* open = std::strchr(found, '\'');
    if (open == nullptr) return false;
    const char* close = std::strchr(open + 1, '\'');
    if (close == nullptr) return false;
    const auto length = static_cast<std::size_t>(close - open - 1);
    if (length >= kIdSize) return false;
    std::memcpy(destination, open + 1, length);
    destination[length] = '\0';
    return true;
}

}  // namespace

int ParseAuthReply(const char* answer, char* role_id, char* policy_id) {
    if (answer == nullptr) return 0;
    if (role_id != nullptr && !quoted_value(answer, "RoleID", role_id)) return 0;
    if (policy_id != nullptr && !quoted_value(answer, "PolicyID", policy_id)) return 0;
    return 1;
}
