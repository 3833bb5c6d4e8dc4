// Switching the endpoint to another network user. A user-facing program calls
// SwitchUser; the running assistant receives the request over local TCP, and
// its command handler starts ThreadSwitchUser, which runs the admission cycle
// with the new user's credentials.
#pragma once

#include "os/compiler.h"

// Sends "<TARN><TradeCode>SwitchUser</TradeCode><WhatToDo>SwitchUser</WhatToDo>
// <UserName/><Password/></TARN>" to the assistant on 127.0.0.1:36588. 1 when
// it was built and sent (a failed exchange is only traced and logged); 0 with
// a 120-byte error text in *error (global memory the caller frees) when the
// communication module cannot be loaded or the request holds no user name.
QUARN_EXPORT int QUARN_STDCALL SwitchUser(const char* request, char** error);
