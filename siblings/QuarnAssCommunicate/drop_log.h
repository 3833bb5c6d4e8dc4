// Datagrams and frames refused for their authentication or freshness are
// counted for the life of the process and traced at most once a minute, so
// that a flood of forged datagrams cannot flood the trace ring too.
#pragma once

#include <cstdint>

#include "siblings/QuarnAssCommunicate/datagram.h"

namespace communicate {

struct DropCounts {
    std::uint64_t malformed = 0;
    std::uint64_t untagged = 0;
    std::uint64_t bad_tag = 0;
    std::uint64_t replayed = 0;
    std::uint64_t local_refused = 0;  // local frames without a valid tag
    std::uint64_t unsealed = 0;       // pushes in clear under a key
    std::uint64_t bad_seal = 0;       // sealed pushes that do not open
};

enum class Drop { kMalformed, kUntagged, kBadTag, kReplayed, kLocalRefused, kUnsealed, kBadSeal };

void note_drop(Drop drop, const char* function);
// The drop a datagram's verdict stands for (nothing for an accepted one).
void note_drop(Verdict verdict, const char* function);
DropCounts drop_counts();

}  // namespace communicate
