// The fault guard on POSIX: SIGSEGV, SIGBUS, SIGFPE and SIGILL are caught
// with sigaction (SA_ONSTACK, on a per-thread alternate stack so that even a
// wrecked stack can be left) and the guarded call is abandoned with
// siglongjmp back into fault_guard. A signal on a thread without an armed
// guard goes to the handler that was installed before ours (a sanitizer's,
// or the default action).
#include "os/fault.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "os/fault_call.h"

namespace os {
namespace {

struct GuardFrame {
    sigjmp_buf jump;
    GuardFrame* volatile previous;
    volatile sig_atomic_t armed;
    volatile std::uint32_t fault;
};

// The innermost armed guard of this thread. Touched by fault_guard before
// any signal can need it, so the handler never allocates thread storage.
thread_local GuardFrame* volatile t_frame = nullptr;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

Fault fault_of(int signal_number) {
    switch (signal_number) {
        case SIGSEGV:
        case SIGBUS:
            return Fault::kAccessViolation;
        case SIGFPE:
            return Fault::kDivideByZero;
        default:
            return Fault::kOther;
    }
}

void pass_on(int signal_number, siginfo_t* info, void* context) {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (kSignals[i] != signal_number) continue;
        const struct sigaction& previous = g_previous[i];
        if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal_number, info, context);
            return;
        }
        if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
            previous.sa_handler != nullptr) {
            previous.sa_handler(signal_number);
            return;
        }
        // Default action: restore it and return; the faulting instruction
        // runs again and the process ends as it would have without us.
        signal(signal_number, SIG_DFL);
        return;
    }
}

void on_fault(int signal_number, siginfo_t* info, void* context) {
    // The innermost armed guard; a guard not yet (or no longer) armed leaves
    // the fault to the one around it.
    GuardFrame* frame = t_frame;
    while (frame != nullptr && frame->armed == 0) frame = frame->previous;
    if (frame == nullptr) {
        pass_on(signal_number, info, context);
        return;
    }
    frame->armed = 0;
    frame->fault = static_cast<std::uint32_t>(fault_of(signal_number));
    siglongjmp(frame->jump, 1);
}

void install_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
            struct sigaction action {};
            action.sa_sigaction = on_fault;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            sigaction(kSignals[i], &action, &g_previous[i]);
        }
    });
}

// An alternate signal stack for threads that have none (a sanitizer gives
// each thread its own already; that one is kept).
class AltStack {
  public:
    AltStack() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
        const std::size_t size = 64 * 1024;
        void* memory =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return;
        stack_t mine{};
        mine.ss_sp = memory;
        mine.ss_size = size;
        if (sigaltstack(&mine, nullptr) != 0) {
            munmap(memory, size);
            return;
        }
        memory_ = memory;
        size_ = size;
    }
    ~AltStack() {
        if (memory_ == nullptr) return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory_) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        munmap(memory_, size_);
    }
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

  private:
    void* memory_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace

Fault fault_guard(void (*function)(void* context), void* context) {
    if (function == nullptr) return Fault::kNone;
    install_handlers();
    static thread_local AltStack alt_stack;
    (void)&alt_stack;

    GuardFrame frame;
    frame.previous = t_frame;
    frame.armed = 0;
    frame.fault = 0;
    if (sigsetjmp(frame.jump, 1) != 0) {
        // Back from the handler: the guarded call is abandoned.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        t_frame = frame.previous;
        return static_cast<Fault>(frame.fault);
    }
    t_frame = &frame;
    const Fault result = detail::armed_call(frame.armed, function, context);
    t_frame = frame.previous;
    return result;
}

}  // namespace os
