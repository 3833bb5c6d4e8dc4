// The unattended identity authentication: gates, the domain logon, then the
// method the user last authenticated with.
#pragma once

// 1 when the endpoint is now authenticated, 0 otherwise.
int DoIdentityAuth();
