// The saved list of network users (user name, password, remark) kept in the
// configuration value UserSwitchInfo for quick switching. Both exports may be
// called before Init: they load the configuration module themselves.
#pragma once

#include "os/compiler.h"

// Adds, updates (user names match without regard to case) or, with IsAdd 0,
// deletes one entry. `request` is "<TARN><UserName/><Password/><Remark/>
// <IsAdd/></TARN>". 1 when the new list was stored, else 0; *answer receives
// "<TARN><Result>n</Result></TARN>" (64 bytes of global memory the caller
// frees; nothing when it cannot be allocated, and then 0).
QUARN_EXPORT int QUARN_STDCALL UserSwitchAddUser(const char* request, char** answer);

// *list receives a copy of the stored list, or "<TARN></TARN>" when none is
// stored (global memory the caller frees). 0 only when the configuration
// module cannot be loaded; the caller's place is then left alone.
QUARN_EXPORT int QUARN_STDCALL GetUserSwitchList(const char* ignored, char** list);

namespace autocheck {
// The cross-process lock around every change of the list.
inline constexpr char kUserListLockName[] = "QuarnAssUserSwitchInfo";
}  // namespace autocheck
