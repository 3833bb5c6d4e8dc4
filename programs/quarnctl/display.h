// Turning GBK texts from shared memory into one printable UTF-8 line.
#pragma once

#include <string>

namespace quarnctl {

// GBK to UTF-8, with line breaks shown as "\n" / "\r" and other control
// characters as "?", so one record stays one line.
std::string printable(const std::string& gbk);

}  // namespace quarnctl
