// The source name of every trace record of the communication module.
#pragma once

namespace communicate {

inline constexpr char kTraceSource[] = "QuarnAssCommunicate.cpp";

}  // namespace communicate
