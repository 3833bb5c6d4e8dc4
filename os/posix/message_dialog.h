// The confirmation dialog of the POSIX backend: a GTK 3 message dialog on the
// user's display. GTK is loaded when first asked for, so that the modules
// that may show a box do not link it.
#pragma once

#include <string>

namespace os::posix {

// Shows `text` (UTF-8) under `caption` with the buttons and icon that the
// Win32 message-box `flags` ask for (OK, OK/Cancel, Yes/No) and waits for
// the answer (IDOK, IDCANCEL, IDYES, IDNO). False, with nothing shown, when
// no display can be reached, GTK cannot be loaded or the buttons are of
// another kind.
bool message_dialog(const std::string& text, const std::string& caption, unsigned flags,
                    int* answer);

}  // namespace os::posix
