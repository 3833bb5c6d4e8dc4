#include "autocheck/runtime/switch_queue.h"

#include <cstdlib>
#include <deque>
#include <mutex>

#include "autocheck/runtime/switch_user_thread.h"
#include "autocheck/trace_sources.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "os/process.h"

namespace {

constexpr char kFunction[] = "SwitchQueue";

#define QUEUE_TRACE(...) \
    LogTrace(kFunction, kTraceInfo, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

// The lock is held for the queue's own bookkeeping only: nothing under it
// calls out of this file or can fault.
struct Queue {
    std::mutex lock;
    std::deque<char*> waiting;
    bool running = false;  // a switch thread exists and will look again
};

Queue& queue() {
    static Queue* shared = new Queue;  // kept for the life of the process
    return *shared;
}

// The next block, or null when the queue is empty: the thread then ends,
// and the next request starts a new one.
char* next_or_stop() {
    Queue& q = queue();
    const std::lock_guard<std::mutex> hold(q.lock);
    if (q.waiting.empty()) {
        q.running = false;
        return nullptr;
    }
    char* block = q.waiting.front();
    q.waiting.pop_front();
    return block;
}

std::uint32_t switch_thread(void*) {
    while (char* block = next_or_stop()) ThreadSwitchUser(block);
    return 0;
}

bool same_user(const char* a, const char* b) {
    return cutil_str_iequal(a, b);
}

}  // namespace

namespace autocheck {

bool queue_switch(char* request_block) {
    request_block[kSwitchFieldSize - 1] = '\0';
    Queue& q = queue();
    char* dropped = nullptr;
    bool start = false;
    {
        const std::lock_guard<std::mutex> hold(q.lock);
        for (auto it = q.waiting.begin(); it != q.waiting.end(); ++it) {
            if (same_user(*it, request_block)) {
                dropped = *it;
                q.waiting.erase(it);
                break;
            }
        }
        if (dropped == nullptr && q.waiting.size() >= kSwitchQueueLimit) {
            dropped = q.waiting.front();
            q.waiting.pop_front();
        }
        q.waiting.push_back(request_block);
        start = !q.running;
        q.running = true;
    }
    if (dropped != nullptr) {
        QUEUE_TRACE("较新的切换请求取代了等待中的切换: %s", dropped);
        std::free(dropped);
    }
    if (!start) return true;
    const os::Handle thread = os::thread_start(&switch_thread, nullptr);
    if (thread != nullptr) {
        os::handle_close(thread);
        return true;
    }
    // Nothing runs the queue: the waiting requests go too, so the next one
    // tries to start the thread again.
    std::deque<char*> orphans;
    {
        const std::lock_guard<std::mutex> hold(q.lock);
        orphans.swap(q.waiting);
        q.running = false;
    }
    for (char* block : orphans) std::free(block);
    return false;
}

}  // namespace autocheck
