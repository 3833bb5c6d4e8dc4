// Double of QuarnCheckDomain.dll: not in a domain unless scripted.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_CDECL CheckDomainUser(const char* argument, char** result) {
    fake::record("CheckDomainUser", "%s", fake::text(argument));
    return fake::answer_with_text(
        "CheckDomainUser", result, 0,
        "<Result><CheckType><Result>No</Result></CheckType><Info><CurLogonUser></CurLogonUser>"
        "<DomainName></DomainName></Info></Result>");
}

static_assert(sizeof(sibling::PluginFunction{&CheckDomainUser}) > 0);
