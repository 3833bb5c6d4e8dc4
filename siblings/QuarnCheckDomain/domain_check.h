// Whether the logged-on user came in through a directory domain, as the
// reply of CheckDomainUser: "Result/CheckType/Result", "Result/Info/CurLogonUser",
// "Result/Info/DomainName". docs/identity.md says how each platform decides.
#pragma once

#include <string>

namespace domain_check {

inline constexpr char kTraceSource[] = "QuarnCheckDomain.cpp";

struct Logon {
    bool domain_logon = false;  // the machine is joined and the user is one of the domain's
    std::string user;
    std::string domain;  // the joined domain's name, "" when not joined
};

// Asks the system; what it cannot read counts as "not a domain logon" (traced).
Logon current_logon();

// "<Result><CheckType><Result>Yes</Result></CheckType><Info>…</Info></Result>"
// with the texts escaped; "" when out of memory.
std::string reply_text(const Logon& logon);

}  // namespace domain_check
