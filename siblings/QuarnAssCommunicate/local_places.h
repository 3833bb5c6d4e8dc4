// The places of the local listener: the connections read at once. A
// connection that comes when every place is taken gets the place of the one
// that has waited longest without proving the secret (its socket is shut
// down, which ends its read), so connections that never prove it cannot keep
// a genuine client out; one that proved it is never put out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "os/socket.h"

namespace communicate {

class LocalPlaces {
  public:
    explicit LocalPlaces(std::size_t places) : places_(places) {}

    // A place for `socket`: its id, or 0 when every place holds a proven
    // connection.
    std::uint64_t take(os::Socket socket);
    // The connection of `place` proved the secret.
    void prove(std::uint64_t place);
    // The connection's read is over; call before its socket is closed.
    void leave(std::uint64_t place);

  private:
    struct Place {
        std::uint64_t id;
        os::Socket socket;
        bool proven;
    };
    const std::size_t places_;
    std::mutex lock_;
    std::vector<Place> taken_;  // oldest first
    std::uint64_t next_id_ = 1;
};

}  // namespace communicate
