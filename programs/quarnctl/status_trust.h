// quarnctl status: the lines that say which protections are on, which are
// off on purpose (SecurityDowngrade) and which are missing.
#pragma once

namespace quarnctl {

void print_protections();

}  // namespace quarnctl
