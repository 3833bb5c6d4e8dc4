// Telling the server that the device has been authenticated.
#pragma once

// Sends "ReportAuthResult": 1 when the report was handed to the
// communication module (answered or not), 0 when none was sent.
int ReportIdentityAuthResult();
