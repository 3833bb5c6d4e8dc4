// The runtime-check module's work behind its exports: asking the access
// server to restrict this endpoint, and whether a USB key is plugged in.
#pragma once

namespace runtime_check {

// Asks the server to restrict this endpoint: a GET of the stored
// CutNetworkUrl through the HTTP client module. 1 when the server accepted.
int cut_off_network();
// 1 when the certificate module sees a key: a certificate on any token, or
// an ePass1000ND serial number.
int have_insert_usb_key();

// Whether the body of the cut-off answer says the request was accepted:
// "1", "ok", "success" or "true" in any letter case, blanks and line breaks
// around it ignored. Anything else (an empty body, "0", an error page) is a
// refusal.
bool cut_off_accepted(const char* body);

}  // namespace runtime_check
