// The fault guard on Windows. mingw GCC has no __try: a vectored exception
// handler sees the processor fault first, and when the faulting thread has an
// armed guard it redirects the thread (CONTINUE_EXECUTION with a new
// instruction pointer) to a trampoline that restores the SEH chain head the
// guard saw and jumps back into fault_guard. Other exceptions, and faults on
// threads without an armed guard, go on to the usual handlers.
#include "os/fault.h"

#include <windows.h>

#include <atomic>

#include "os/fault_call.h"

namespace os {
namespace {

struct GuardFrame {
    void* jump[5];  // __builtin_setjmp buffer
    GuardFrame* volatile previous;
    volatile LONG armed;
    volatile DWORD fault;
    void* volatile seh_head;  // NT_TIB.ExceptionList when the guard was entered
};

DWORD g_frame_slot = TLS_OUT_OF_INDEXES;    // innermost guard of the thread
DWORD g_pending_slot = TLS_OUT_OF_INDEXES;  // guard the trampoline jumps back to

BOOL CALLBACK initialise(PINIT_ONCE, PVOID, PVOID*);

Fault fault_of(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
            return Fault::kAccessViolation;
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
            return Fault::kDivideByZero;
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_STACK_CHECK:
            return Fault::kOther;
        default:
            return Fault::kNone;  // not a processor fault we take
    }
}

// The head of the thread's SEH chain, NT_TIB.ExceptionList (fs:[0] on x86).
void* seh_chain_head() {
#if defined(__i386__)
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
#else
    return nullptr;  // x64 unwinds by tables: there is no chain to restore
#endif
}

void restore_seh_chain_head(void* head) {
#if defined(__i386__)
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
#else
    (void)head;
#endif
}

__attribute__((noreturn, noinline)) void trampoline() {
    auto* frame = static_cast<GuardFrame*>(TlsGetValue(g_pending_slot));
    restore_seh_chain_head(frame->seh_head);
    __builtin_longjmp(frame->jump, 1);
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* pointers) {
    const Fault fault = fault_of(pointers->ExceptionRecord->ExceptionCode);
    if (fault == Fault::kNone) return EXCEPTION_CONTINUE_SEARCH;
    auto* frame = static_cast<GuardFrame*>(TlsGetValue(g_frame_slot));
    while (frame != nullptr && frame->armed == 0) frame = frame->previous;
    if (frame == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    frame->armed = 0;
    frame->fault = static_cast<DWORD>(fault);
    TlsSetValue(g_pending_slot, frame);
#if defined(_M_IX86) || defined(__i386__)
    CONTEXT* context = pointers->ContextRecord;
    // Below the faulting frame, on the same stack, with a dummy return address.
    DWORD stack = (context->Esp - 256) & ~static_cast<DWORD>(15);
    stack -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(stack) = 0;
    context->Esp = stack;
    context->Eip = reinterpret_cast<DWORD>(&trampoline);
#else
    CONTEXT* context = pointers->ContextRecord;
    DWORD64 stack = (context->Rsp - 256) & ~static_cast<DWORD64>(15);
    stack -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(stack) = 0;
    context->Rsp = stack;
    context->Rip = reinterpret_cast<DWORD64>(&trampoline);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

PVOID g_handler = nullptr;

BOOL CALLBACK initialise(PINIT_ONCE, PVOID, PVOID*) {
    g_frame_slot = TlsAlloc();
    g_pending_slot = TlsAlloc();
    if (g_frame_slot == TLS_OUT_OF_INDEXES || g_pending_slot == TLS_OUT_OF_INDEXES) return FALSE;
    g_handler = AddVectoredExceptionHandler(1, on_exception);
    return g_handler != nullptr;
}

// Each module links its own guard: the handler goes with the module, or the
// next fault in the process would jump into code that is no longer there.
struct Uninstall {
    ~Uninstall() {
        if (g_handler != nullptr) RemoveVectoredExceptionHandler(g_handler);
        g_handler = nullptr;
    }
} g_uninstall;

bool ensure_installed() {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    return InitOnceExecuteOnce(&once, initialise, nullptr, nullptr) != FALSE;
}

}  // namespace

Fault fault_guard(void (*function)(void* context), void* context) {
    if (function == nullptr) return Fault::kNone;
    if (!ensure_installed()) return detail::call_catching(function, context);

    GuardFrame frame;
    frame.previous = static_cast<GuardFrame*>(TlsGetValue(g_frame_slot));
    frame.armed = 0;
    frame.fault = 0;
    frame.seh_head = seh_chain_head();
    if (__builtin_setjmp(frame.jump) != 0) {
        // Back from the trampoline: the guarded call is abandoned.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        TlsSetValue(g_frame_slot, frame.previous);
        return static_cast<Fault>(frame.fault);
    }
    TlsSetValue(g_frame_slot, &frame);
    const Fault result = detail::armed_call(frame.armed, function, context);
    TlsSetValue(g_frame_slot, frame.previous);
    return result;
}

}  // namespace os
