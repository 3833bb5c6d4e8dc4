// Whether the access server can be reached: its download directory is asked
// for the assistant's update description.
#pragma once

#include "os/compiler.h"

// 1 when the update description was downloaded, or when no download
// directory is configured (nothing to wait for); 0 when the download failed
// or no HTTP client is bound. Exported, caller-cleans.
QUARN_EXPORT int QUARN_CDECL IsCanConnectToServer();
