// Where received commands run: off the receive and local threads, so that a
// forced check running a whole cycle never delays a ShutdownNetwork.
//
// - DoSecurityCheck (the name compared without regard to case): one thread,
//   at most one running and one queued. It is answered 1 at once, the
//   library's result for it whatever the cycle does; a further one while
//   one is queued is answered 1 too and traced, as it would only repeat the
//   queued check.
// - Every other command: up to kCommandThreads threads, at most
//   kCommandsInFlight queued or running; answered with the callback's result
//   when it returns. One arriving while that many are in flight is answered
//   0 at once and traced.
#pragma once

#include <cstddef>
#include <functional>

#include "cutil/xml.h"
#include "siblings/QuarnAssCommunicate/task_pool.h"

namespace communicate {

class Dispatcher {
  public:
    static constexpr std::size_t kCommandThreads = 4;
    static constexpr std::size_t kCommandsInFlight = 4;

    // Runs the callback on a command; false when none is registered (the
    // command then goes unanswered).
    using Call = std::function<bool(XmlNode* command, int* result)>;
    // Sends the answer of one command; called at most once per command.
    using Answer = std::function<void(int result)>;

    enum class Taken { kRunning, kCoalesced, kBusy };

    explicit Dispatcher(Call call);
    Taken submit(XmlDocument command, Answer answer);
    // Ends the threads once their callbacks return; queued commands are dropped.
    void stop();

  private:
    const Call call_;
    TaskPool checks_;
    TaskPool commands_;
};

}  // namespace communicate
