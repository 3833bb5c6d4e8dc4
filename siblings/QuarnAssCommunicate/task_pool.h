// A fixed number of threads of the module taking tasks in arrival order,
// with a bound on the tasks queued or running together. Threads start when
// the first task needs one and then wait on a condition variable, so an idle
// pool costs no wakeups.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "siblings/QuarnAssCommunicate/worker.h"

namespace communicate {

class TaskPool {
  public:
    using Task = std::function<void()>;

    // `threads` run tasks; at most `bound` (at least `threads`) are queued
    // or running at once.
    TaskPool(std::size_t threads, std::size_t bound);
    ~TaskPool() { stop(); }
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Queues `task`; false (the task dropped) when `bound` tasks are in
    // flight, when no thread could be started or after stop().
    bool post(Task task);
    // Ends the threads once their running tasks return; queued tasks are
    // dropped. post() may start the pool again afterwards.
    void stop();

  private:
    static void loop(void* self);

    const std::size_t threads_;
    const std::size_t bound_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    std::size_t in_flight_ = 0;  // queued and running
    std::size_t idle_ = 0;       // threads waiting for a task
    bool stopping_ = false;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace communicate
