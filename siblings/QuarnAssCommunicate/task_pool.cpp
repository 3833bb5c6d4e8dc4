#include "siblings/QuarnAssCommunicate/task_pool.h"

#include <utility>

namespace communicate {

TaskPool::TaskPool(std::size_t threads, std::size_t bound)
    : threads_(threads), bound_(bound < threads ? threads : bound) {}

bool TaskPool::post(Task task) {
    std::unique_lock<std::mutex> guard(lock_);
    if (stopping_ || in_flight_ >= bound_) return false;
    // A thread per task until `threads_` run; later tasks wait for one.
    if (idle_ <= tasks_.size() && workers_.size() < threads_) {
        auto worker = std::make_unique<Worker>();
        if (!worker->start(&TaskPool::loop, this)) {
            if (workers_.empty()) return false;
        } else {
            workers_.push_back(std::move(worker));
        }
    }
    tasks_.push_back(std::move(task));
    ++in_flight_;
    guard.unlock();
    wake_.notify_one();
    return true;
}

void TaskPool::loop(void* self) {
    auto* pool = static_cast<TaskPool*>(self);
    std::unique_lock<std::mutex> guard(pool->lock_);
    for (;;) {
        ++pool->idle_;
        pool->wake_.wait(guard, [pool] { return pool->stopping_ || !pool->tasks_.empty(); });
        --pool->idle_;
        if (pool->stopping_) return;
        Task task = std::move(pool->tasks_.front());
        pool->tasks_.pop_front();
        guard.unlock();
        task();
        task = nullptr;  // what the task holds goes before it counts as done
        guard.lock();
        --pool->in_flight_;
    }
}

void TaskPool::stop() {
    std::vector<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (auto& worker : workers) worker->stop();
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped.swap(tasks_);
        in_flight_ = 0;
        idle_ = 0;
        stopping_ = false;
    }
}

}  // namespace communicate
