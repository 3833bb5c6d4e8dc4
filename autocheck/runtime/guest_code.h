// Guest network codes for visitors, asked of the access server and shown in
// a local page.
#pragma once

// Requests a code and shows GuestMaskPage.html with the outcome. 1 when the
// page was written and opened (whatever the server said), 0 when no page
// was produced.
int RequestGuestMask();

// The code of a server answer (the text between the first two single quotes
// after "Code") into `code` (at most 259 characters; may be null). 1 when
// found, 0 for a null answer or one without a quoted code.
int ParseGuestCode(const char* answer, char* code);
