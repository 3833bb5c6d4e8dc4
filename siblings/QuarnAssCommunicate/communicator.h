// The running communication module: the push callback, the receive thread on
// the listening port, the local listener, and the two client exchanges. The
// module's exports hold one of these for the process; tests make their own.
//
// Threads: the receive thread and the local thread only receive, verify and
// queue; the callback runs on the dispatcher's threads (push_dispatch.h) and
// local connections are read on a small pool of their own. Idle, every
// thread blocks on its socket, its condition variable or the stop signal.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "interface/sibling_abi.h"
#include "os/socket.h"
#include "siblings/QuarnAssCommunicate/datagram.h"
#include "siblings/QuarnAssCommunicate/listen_state.h"
#include "siblings/QuarnAssCommunicate/local_places.h"
#include "siblings/QuarnAssCommunicate/push_answer.h"
#include "siblings/QuarnAssCommunicate/push_dispatch.h"
#include "siblings/QuarnAssCommunicate/replay_window.h"
#include "siblings/QuarnAssCommunicate/task_pool.h"
#include "siblings/QuarnAssCommunicate/udp_exchange.h"
#include "siblings/QuarnAssCommunicate/worker.h"

namespace communicate {

struct CommunicatorOptions {
    std::uint16_t local_port = sibling::kAssistantTcpPort;  // 0: any free port (tests)
    ExchangeTimes times;
    std::uint32_t local_wait_ms = 5000;    // a local request whole, from its connection
    std::uint32_t answer_wait_ms = 30000;  // the assistant's answer to our local request
};

class Communicator {
  public:
    // Local connections read at once. A further one takes the place of the
    // one that has waited longest without proving the secret, and is closed
    // at once when all have proved it (local_places.h).
    static constexpr std::size_t kLocalConnections = 4;

    explicit Communicator(const CommunicatorOptions& options = {});
    ~Communicator();
    Communicator(const Communicator&) = delete;
    Communicator& operator=(const Communicator&) = delete;

    // Registers the callback (null: pushes and local requests go unanswered)
    // and, on the first call, opens the listening port and the local listener.
    int set_callback(sibling::PacketRecvCallBackFunction callback);
    int udp_exchange(const char* host, int port, const XmlNode* request, XmlNode** reply) const;
    int tcp_exchange(const char* host, int port, const XmlNode* request, XmlNode** reply) const;

    // The ports bound (0 while not listening).
    std::uint16_t push_port() const { return push_state_.bound_port(); }
    std::uint16_t local_port() const { return local_state_.bound_port(); }
    // Stops the threads and closes the sockets; the destructor does it too.
    void stop();

  private:
    struct PendingPush {
        std::unique_ptr<Reassembly> reassembly;
        std::uint32_t started = 0;
    };
    using PushKey = std::pair<std::uint64_t, std::uint32_t>;  // sender, message id

    static void push_loop(void* self);
    static void local_loop(void* self);
    bool open_push_port();
    bool open_local_listener();
    // Waits on the stop signal; false once it is raised.
    bool pause(std::uint32_t wait_ms) const;
    void take_datagram(const char* bytes, std::size_t size, const os::SocketAddress& from,
                       const std::string& key);
    void deliver_push(const Header& header, const std::string& payload,
                      const os::SocketAddress& from, const std::string& key);
    void answer_push(const os::SocketAddress& to, std::uint32_t id, int result,
                     const std::string& key);
    void serve_local(os::Socket connection, const std::string& secret, std::uint64_t place);
    bool call_back(XmlNode* document, int* result) const;

    const CommunicatorOptions options_;
    std::mutex start_lock_;
    bool started_ = false;
    std::atomic<sibling::PacketRecvCallBackFunction> callback_{nullptr};
    os::SocketSignal stop_signal_ = nullptr;
    std::atomic<os::Socket> push_socket_{os::kNoSocket};
    os::Socket local_listener_ = os::kNoSocket;  // the local thread's
    std::string local_secret_;                   // the local thread's
    ListenState push_state_;
    ListenState local_state_;
    // Owned by the push thread.
    bool push_unsealed_ok_ = false;  // SecurityDowngrade: keyed pushes may come unsealed
    std::map<PushKey, PendingPush> pending_;
    ReplayWindow window_;
    AnswerCache answers_;
    Dispatcher dispatcher_;
    LocalPlaces local_places_{kLocalConnections};
    // Twice the places: a reader put out of its place may still be ending.
    TaskPool local_connections_;
    Worker push_worker_;
    Worker local_worker_;
};

}  // namespace communicate
