// Who is at the machine: its name, the logged-on account and whether the
// machine is a member of a directory domain. Windows asks the system
// (GetComputerNameA, GetUserNameExA, NetGetJoinInformation); POSIX reads
// the realmd/SSSD configuration under a root folder, see docs/domain_check.md.
#pragma once

#include <string>

namespace os {

// The machine's name (GetComputerNameA; POSIX: the host name up to its first dot).
bool computer_name(std::string* out);

// The operating system's product name: Windows' ProductName ("Windows 7
// Professional"), POSIX's PRETTY_NAME of os-release, else the kernel's name.
bool system_product_name(std::string* out);

struct LogonAccount {
    std::string user;    // account name without its domain
    std::string domain;  // the account's domain; Windows: the computer name for a local account
    bool domain_account = false;  // the account belongs to the domain the machine is joined to
};

// The account the calling process runs under, which is the logged-on user's
// for the assistant.
bool logon_account(LogonAccount* out);

struct DomainMembership {
    bool joined = false;
    std::string
        domain;  // the domain's name when joined, else "" (Windows: the workgroup is not reported)
};

bool domain_membership(DomainMembership* out);

// POSIX: the folder standing for "/" when the configuration files are read
// (environment variable QUARN_SYSTEM_ROOT, else ""). Windows: "".
std::string account_system_root();

}  // namespace os
