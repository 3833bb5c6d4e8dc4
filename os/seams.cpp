// The test seams' storage. Production never installs anything, so each seam
// costs a single pointer test.
#include "os/seams.h"

#include <atomic>

namespace os::seams {
namespace {

std::atomic<FakeClock*> g_fake_clock{nullptr};
std::atomic<MessageBoxAnswer> g_message_box_answer{nullptr};
std::atomic<ExitHook> g_exit_hook{nullptr};

}  // namespace

void install_fake_clock(FakeClock* clock) { g_fake_clock.store(clock); }
FakeClock* fake_clock() { return g_fake_clock.load(std::memory_order_relaxed); }

void install_message_box_answer(MessageBoxAnswer answer) { g_message_box_answer.store(answer); }
MessageBoxAnswer message_box_answer() { return g_message_box_answer.load(); }

void install_exit_hook(ExitHook hook) { g_exit_hook.store(hook); }
ExitHook exit_hook() { return g_exit_hook.load(); }

}  // namespace os::seams
