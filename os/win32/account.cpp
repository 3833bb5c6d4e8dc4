// The account from GetUserNameExA (SAM-compatible "DOMAIN\user"), the
// membership from NetGetJoinInformation.
#define SECURITY_WIN32
// clang-format off
#include <windows.h>
#include <lm.h>
#include <security.h>
#include <secext.h>
// clang-format on

#include "os/account.h"

#include <cstring>
#include <string>

#include "os/error.h"
#include "os/machine.h"
#include "os/text.h"

namespace os {

std::string account_system_root() {
    return {};
}

bool computer_name(std::string* out) {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) {
        set_last_error(GetLastError());
        return false;
    }
    *out = name;
    return true;
}

bool system_product_name(std::string* out) {
    RegistryValue value;
    if (registry_read(RegistryRoot::kLocalMachine,
                      "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                      &value) == RegistryRead::kFound &&
        value.kind == RegistryKind::kText && !value.text.empty()) {
        *out = value.text;
        return true;
    }
    *out = "Windows";
    return true;
}

bool domain_membership(DomainMembership* out) {
    *out = DomainMembership{};
    LPWSTR name = nullptr;
    NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
    const NET_API_STATUS result = NetGetJoinInformation(nullptr, &name, &status);
    if (result != NERR_Success) {
        set_last_error(result);
        return false;
    }
    if (status == NetSetupDomainName && name != nullptr) {
        const auto* wide = reinterpret_cast<const char16_t*>(name);
        std::string text(wide_length(wide) * 4 + 1, '\0');
        const std::size_t written = wide_to_acp(wide, &text[0], text.size());
        if (written != static_cast<std::size_t>(-1)) {
            text.resize(written);
            out->joined = true;
            out->domain = text;
        }
    }
    if (name != nullptr) NetApiBufferFree(name);
    return true;
}

bool logon_account(LogonAccount* out) {
    *out = LogonAccount{};
    char sam[512] = {};
    ULONG size = sizeof sam;
    std::string full;
    if (GetUserNameExA(NameSamCompatible, sam, &size)) {
        full = sam;
    } else {
        char user[257] = {};
        DWORD user_size = sizeof user;
        if (!GetUserNameA(user, &user_size)) {
            set_last_error(GetLastError());
            return false;
        }
        std::string machine;
        computer_name(&machine);
        full = machine + "\\" + user;
    }
    const auto slash = full.find('\\');
    out->domain = slash == std::string::npos ? std::string() : full.substr(0, slash);
    out->user = slash == std::string::npos ? full : full.substr(slash + 1);
    DomainMembership membership;
    out->domain_account = domain_membership(&membership) && membership.joined &&
                          lstrcmpiA(out->domain.c_str(), membership.domain.c_str()) == 0;
    return true;
}

}  // namespace os
