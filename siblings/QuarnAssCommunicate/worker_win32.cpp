// Worker on Windows: a thread of the platform layer, waited for through an
// event it sets last (worker.h says why it is not joined).
#include "os/event.h"
#include "os/process.h"
#include "siblings/QuarnAssCommunicate/worker.h"

namespace communicate {
namespace {

// Far longer than one wait of any loop (at most a few hundred milliseconds).
constexpr std::uint32_t kStopWaitMs = 10000;
constexpr std::uint32_t kStopPollMs = 20;

}  // namespace

bool Worker::start(void (*loop)(void*), void* argument) {
    if (thread_ != nullptr || loop == nullptr) return false;
    finished_ = os::event_create(nullptr, os::EventReset::kManual, false);
    if (finished_ == nullptr) return false;
    stopping_.store(false, std::memory_order_release);
    loop_ = loop;
    argument_ = argument;
    thread_ = os::thread_start(&Worker::entry, this);
    if (thread_ == nullptr) {
        os::event_close(finished_);
        finished_ = nullptr;
        return false;
    }
    return true;
}

std::uint32_t Worker::entry(void* self) {
    auto* worker = static_cast<Worker*>(self);
    worker->loop_(worker->argument_);
    os::event_set(worker->finished_);
    return 0;
}

void Worker::stop() {
    if (thread_ == nullptr) return;
    stopping_.store(true, std::memory_order_release);
    for (std::uint32_t waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
        if (os::event_wait(finished_, kStopPollMs) == 0 || os::handle_wait(thread_, 0)) break;
    }
    os::handle_close(thread_);
    os::event_close(finished_);
    thread_ = nullptr;
    finished_ = nullptr;
}

}  // namespace communicate
