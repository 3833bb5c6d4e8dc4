// The automatic authentication-and-check cycle: one full admission pass.
#pragma once

// Authenticates, fetches the policy, reports, checks, then opens the network
// or the check page. Cycles never overlap: one process-wide lock is held for
// the whole pass.
void AutoAuthAndCheck();

namespace autocheck {

// What a cycle adds to the steps both cycles share.
struct CycleVariant {
    const char* function;          // the traces' function name
    void (*on_passed)();           // after a passed check, before the network opens; may be null
    void (*before_failed_page)();  // before a failed check opens the page; may be null
};

// The steps after a successful authentication, shared by AutoAuthAndCheck
// and its twin with explicit credentials: the policy, IsDisturb as the new
// policy says, the report, the check, then the network opened (TTL with
// SupportNat, the desktop agent with SuportPraxa) or, outside do-not-disturb
// mode, the check page replaced by `url`.
void check_authenticated(const CycleVariant& variant, const char* url);

}  // namespace autocheck
