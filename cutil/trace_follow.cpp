// The draining thread of a following reader and its compact queue.
#include "cutil/trace_follow.h"

#include <chrono>
#include <cstring>

#include "os/event.h"
#include "os/process.h"

namespace cutil::trace {
namespace {

// The thread looks at the stop request at least this often.
constexpr std::uint32_t kWakeMs = 100;
constexpr std::uint32_t kDrainWaitMs = 2000;

// A queued record: its header, then the message up to and with its
// terminator (the field's last byte stands in for a missing one).
std::size_t message_length(const Record& record) {
    const void* end = std::memchr(record.message, '\0', sizeof record.message);
    return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - record.message)
                          : sizeof record.message - 1;
}

}  // namespace

Follower::Follower(Reader* reader) : reader_(reader) {
    thread_ = os::thread_start(&Follower::run, this);
}

Follower::~Follower() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (thread_ != nullptr) {
        os::handle_wait(thread_, os::kWaitInfinite);
        os::handle_close(thread_);
    }
}

std::uint32_t Follower::run(void* follower) {
    static_cast<Follower*>(follower)->drain_until_stopped();
    return 0;
}

void Follower::drain_until_stopped() {
    std::vector<Record> batch;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        // Drained also after a quiet wait: a signal may have been taken by
        // the drain before, while its record came in just after.
        reader_->wait_for_records(kWakeMs);
        if (!reader_->drain(&batch, kDrainWaitMs)) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++failed_drains_;
            continue;
        }
        if (!batch.empty()) enqueue(batch);
    }
}

void Follower::enqueue(const std::vector<Record>& batch) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Record& record : batch) {
            const std::size_t message = message_length(record);
            const std::size_t size = kHeaderSize + message + 1;
            if (queue_.size() + size > kQueueLimitBytes) {
                ++dropped_;
                continue;
            }
            const auto* bytes = reinterpret_cast<const char*>(&record);
            queue_.insert(queue_.end(), bytes, bytes + kHeaderSize + message);
            queue_.push_back('\0');
            ++queued_;
        }
    }
    arrived_.notify_one();
}

bool Follower::take(std::vector<Record>* out, std::uint32_t timeout_ms) {
    std::vector<char> taken;
    std::size_t count = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [this] { return queued_ > 0; });
        taken.swap(queue_);
        count = queued_;
        queued_ = 0;
    }
    out->assign(count, Record{});
    const char* at = taken.data();
    for (Record& record : *out) {
        std::memcpy(&record, at, kHeaderSize);
        const std::size_t length = std::strlen(at + kHeaderSize);  // terminated when queued
        std::memcpy(record.message, at + kHeaderSize, length);
        at += kHeaderSize + length + 1;
    }
    return count > 0;
}

std::uint64_t Follower::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

std::uint64_t Follower::failed_drains() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_drains_;
}

}  // namespace cutil::trace
