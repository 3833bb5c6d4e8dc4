#include "os/socket.h"

namespace os {

// The connection table names the process at the other end, not its account;
// the secret's proof is what keeps other users out here.
bool socket_peer_is_own_user(Socket) {
    return true;
}

}  // namespace os
