// The machine joined through realmd/SSSD: sssd.conf names the domains in its
// [sssd] section and the machine account's keys sit in krb5.keytab. A
// domain user either carries the domain in its name (SSSD's fully qualified
// names) or is an account the local passwd file does not hold.
#include "os/account.h"

#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "os/posix/internal.h"
#include "os/system.h"

namespace os {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The first name of "domains = a, b" in the [sssd] section; "" when none.
std::string sssd_first_domain(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    bool in_sssd = false;
    while (std::getline(file, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            in_sssd = strcasecmp(line.c_str(), "[sssd]") == 0;
            continue;
        }
        const auto equals = line.find('=');
        if (!in_sssd || equals == std::string::npos) continue;
        if (strcasecmp(trimmed(line.substr(0, equals)).c_str(), "domains") != 0) continue;
        const std::string list = line.substr(equals + 1);
        return trimmed(list.substr(0, list.find(',')));
    }
    return {};
}

bool non_empty_file(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool local_passwd_holds(const std::string& path, const std::string& user) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, user.size(), user) == 0 && line.size() > user.size() &&
            line[user.size()] == ':') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string account_system_root() {
    char root[1024];
    const std::size_t length = env_get("QUARN_SYSTEM_ROOT", root, sizeof root);
    if (length == 0 || length >= sizeof root) return {};
    std::string text(root, length);
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

bool computer_name(std::string* out) {
    utsname names;
    if (uname(&names) != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    const std::string node = names.nodename;
    *out = node.substr(0, node.find('.'));
    return true;
}

bool system_product_name(std::string* out) {
    std::ifstream file("/etc/os-release");
    std::string line;
    constexpr char kKey[] = "PRETTY_NAME=";
    while (std::getline(file, line)) {
        if (line.compare(0, sizeof kKey - 1, kKey) != 0) continue;
        std::string value = trimmed(line.substr(sizeof kKey - 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
            value = value.substr(1, value.size() - 2);
        }
        if (!value.empty()) {
            *out = value;
            return true;
        }
    }
    utsname names;
    if (uname(&names) != 0) {
        posix::set_last_error_from_errno(errno);
        return false;
    }
    *out = names.sysname;
    return true;
}

bool domain_membership(DomainMembership* out) {
    *out = DomainMembership{};
    const std::string root = account_system_root();
    const std::string domain = sssd_first_domain(root + "/etc/sssd/sssd.conf");
    if (domain.empty() || !non_empty_file(root + "/etc/krb5.keytab")) return true;
    out->joined = true;
    out->domain = domain;
    return true;
}

bool logon_account(LogonAccount* out) {
    *out = LogonAccount{};
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    const int error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (found == nullptr) {
        posix::set_last_error_from_errno(error != 0 ? error : ENOENT);
        return false;
    }
    const std::string name = entry.pw_name;
    DomainMembership membership;
    domain_membership(&membership);
    const auto at = name.find('@');
    if (at != std::string::npos) {
        out->user = name.substr(0, at);
        out->domain = name.substr(at + 1);
        out->domain_account =
            membership.joined && strcasecmp(out->domain.c_str(), membership.domain.c_str()) == 0;
        return true;
    }
    out->user = name;
    if (membership.joined && !local_passwd_holds(account_system_root() + "/etc/passwd", name)) {
        out->domain = membership.domain;
        out->domain_account = true;
    }
    return true;
}

}  // namespace os
