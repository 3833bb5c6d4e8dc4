#include "siblings/QuarnAssCommunicate/local_places.h"

namespace communicate {

std::uint64_t LocalPlaces::take(os::Socket socket) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (taken_.size() >= places_) {
        auto oldest = taken_.begin();
        while (oldest != taken_.end() && oldest->proven) ++oldest;
        if (oldest == taken_.end()) return 0;
        // Shut down, not closed: its reader still owns the socket and
        // closes it, so the handle cannot be reused under it.
        os::socket_shutdown(oldest->socket);
        taken_.erase(oldest);
    }
    taken_.push_back({next_id_, socket, false});
    return next_id_++;
}

void LocalPlaces::prove(std::uint64_t place) {
    const std::lock_guard<std::mutex> guard(lock_);
    for (Place& each : taken_) {
        if (each.id == place) each.proven = true;
    }
}

void LocalPlaces::leave(std::uint64_t place) {
    const std::lock_guard<std::mutex> guard(lock_);
    for (auto it = taken_.begin(); it != taken_.end(); ++it) {
        if (it->id == place) {
            taken_.erase(it);
            return;
        }
    }
}

}  // namespace communicate
