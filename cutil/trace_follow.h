// Following the trace ring for a reader that shows the records as they come
// (quarnctl trace --follow). A thread of its own waits on the read event and
// drains the ring the moment a writer signals, into a queue that the caller
// empties at the pace of its display: a burst of writers then meets an empty
// ring however slow the display is, instead of filling the 128 slots and
// overwriting slot 0 while the previous batch is being printed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "cutil/trace_ring.h"
#include "os/types.h"

namespace cutil::trace {

class Follower {
  public:
    // Queued records are kept compact (header and message up to its
    // terminator); beyond this many bytes, new ones are counted and dropped
    // so that a display stopped for good cannot exhaust the memory.
    static constexpr std::size_t kQueueLimitBytes = std::size_t{64} << 20;

    // Starts draining `reader`, which must be open and outlive the follower.
    explicit Follower(Reader* reader);
    ~Follower();  // stops the thread and waits for it
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // False when its thread could not be started (nothing is drained then).
    bool started() const { return thread_ != nullptr; }

    // Waits at most `timeout_ms` for records, then moves every record
    // drained so far, in order, into `out` (replaced). False when none came.
    bool take(std::vector<Record>* out, std::uint32_t timeout_ms);

    // Records dropped because the queue was full, and drains that could not
    // take the ring; both only grow.
    std::uint64_t dropped() const;
    std::uint64_t failed_drains() const;

  private:
    static std::uint32_t run(void* follower);
    void drain_until_stopped();
    void enqueue(const std::vector<Record>& batch);

    Reader* reader_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<char> queue_;  // compact records, one after the other
    std::size_t queued_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t failed_drains_ = 0;
    bool stop_ = false;
    os::Handle thread_ = nullptr;
};

}  // namespace cutil::trace
