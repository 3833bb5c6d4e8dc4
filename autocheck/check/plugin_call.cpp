#include "autocheck/check/plugin_call.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "interface/module_call.h"
#include "os/fault.h"
#include "os/process.h"

namespace autocheck::check {
namespace {

// Shared by the waiting check and the plug-in's thread; the last of the two
// to let go deletes it.
struct Running {
    std::atomic<int> holders{2};
    std::string key;  // "module|function"
    std::string module_path;
    std::string argument;
    bool has_argument = false;
    std::string function;
    void (*before)(void*) = nullptr;
    void* before_context = nullptr;
    int called = 0;
    int code = -1;
    char* text = nullptr;
    os::Fault fault = os::Fault::kNone;
    std::mutex mutex;
    bool ended = false;
    bool abandoned = false;
};

std::mutex hung_mutex;
std::vector<std::string> hung;  // keys of calls left running

bool is_hung(const std::string& key) {
    const std::lock_guard<std::mutex> lock(hung_mutex);
    return static_cast<int>(hung.size()) >= kHungCallsKept ||
           std::find(hung.begin(), hung.end(), key) != hung.end();
}

void let_go(Running* running) {
    if (running->holders.fetch_sub(1) != 1) return;
    std::free(running->text);
    delete running;
}

void invoke(void* context) {
    auto* running = static_cast<Running*>(context);
    {
        // Under the lock: the check cannot give up on the call (and its
        // caller free what `before` reads) while `before` runs.
        const std::lock_guard<std::mutex> lock(running->mutex);
        if (running->abandoned) return;
        if (running->before != nullptr) running->before(running->before_context);
    }
    running->called = CallOneModuleFuncCode(
        running->module_path.c_str(), running->has_argument ? running->argument.c_str() : nullptr,
        running->function.c_str(), &running->text, &running->code);
}

std::uint32_t run_call(void* context) {
    auto* running = static_cast<Running*>(context);
    running->fault = os::fault_guard(&invoke, running);
    {
        const std::lock_guard<std::mutex> lock(running->mutex);
        running->ended = true;
        if (running->abandoned) {
            const std::lock_guard<std::mutex> hung_lock(hung_mutex);
            hung.erase(std::find(hung.begin(), hung.end(), running->key));
        }
    }
    let_go(running);
    return 0;
}

}  // namespace

PluginCallEnd call_plugin_bounded(PluginCall* call, std::uint32_t wait_ms) {
    std::string key = std::string(call->module_path) + "|" + call->function;
    if (is_hung(key)) return PluginCallEnd::kStillHung;
    auto* running = new (std::nothrow) Running;
    if (running == nullptr) return PluginCallEnd::kFaulted;
    running->key = std::move(key);
    running->module_path = call->module_path;
    running->has_argument = call->argument != nullptr;
    if (running->has_argument) running->argument = call->argument;
    running->function = call->function;
    running->before = call->before;
    running->before_context = call->before_context;

    const os::Handle thread = os::thread_start(&run_call, running);
    if (thread == nullptr) {
        // No thread to be had: the call runs here, unbounded.
        running->holders = 1;
        running->fault = os::fault_guard(&invoke, running);
        running->ended = true;
    } else {
        // The thread's end, not a signal from it: a module holding this code
        // may be unloaded once the check returns (tests do), and the thread
        // must be out of it by then.
        os::handle_wait(thread, wait_ms);
        os::handle_close(thread);
    }

    std::unique_lock<std::mutex> lock(running->mutex);
    if (!running->ended) {
        running->abandoned = true;
        {
            const std::lock_guard<std::mutex> hung_lock(hung_mutex);
            hung.push_back(running->key);
        }
        lock.unlock();
        let_go(running);
        return PluginCallEnd::kTimedOut;
    }
    const bool faulted = running->fault != os::Fault::kNone;
    call->called = running->called;
    call->code = running->code;
    call->text = running->text;  // now the caller's
    running->text = nullptr;
    lock.unlock();
    let_go(running);
    return faulted ? PluginCallEnd::kFaulted : PluginCallEnd::kReturned;
}

}  // namespace autocheck::check
