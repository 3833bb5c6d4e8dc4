#include "tests/fakes/core/fake_core.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "os/memory.h"

namespace fake {
namespace {

struct Call {
    std::string name;
    std::string arguments;
};

struct State {
    std::mutex lock;
    std::vector<Call> calls;
    std::map<std::string, Answer> answers;
    std::map<std::string, std::deque<Answer>> queued;
    void (*reset_hook)() = nullptr;
};

State& state() {
    static State s;  // goes with the module
    return s;
}

}  // namespace

void record(const char* export_name, const char* format, ...) {
    char arguments[8192];
    va_list list;
    va_start(list, format);
    std::vsnprintf(arguments, sizeof arguments, format, list);
    va_end(list);
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.calls.push_back({export_name, arguments});
}

Answer answer(const char* export_name) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.answers.find(export_name);
    return found != s.answers.end() ? found->second : Answer{};
}

int result_or(const char* export_name, int fallback) {
    const Answer a = answer(export_name);
    return a.scripted ? a.result : fallback;
}

void hand_out_text(char** out, const std::string& value) {
    if (out == nullptr) return;
    auto* block = static_cast<char*>(os::global_alloc(value.size() + 1));
    if (block != nullptr) std::memcpy(block, value.c_str(), value.size() + 1);
    *out = block;
}

// Takes the oldest queued answer of `export_name` into *next; false when none waits.
bool take_queued(const char* export_name, Answer* next) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto found = s.queued.find(export_name);
    if (found == s.queued.end() || found->second.empty()) return false;
    *next = found->second.front();
    found->second.pop_front();
    return true;
}

int answer_with_text(const char* export_name, char** out, int fallback_result,
                     const char* fallback_text) {
    Answer a;
    if (!take_queued(export_name, &a)) a = answer(export_name);
    if (a.scripted) {
        if (a.has_text) hand_out_text(out, a.text);
        return a.result;
    }
    if (fallback_text != nullptr) hand_out_text(out, fallback_text);
    return fallback_result;
}

void copy_out(const std::string& value, char* out, int size) {
    if (out == nullptr || size <= 0) return;
    const std::size_t n = value.size() < static_cast<std::size_t>(size) - 1
                              ? value.size()
                              : static_cast<std::size_t>(size) - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
}

void set_reset_hook(void (*hook)()) {
    state().reset_hook = hook;
}

}  // namespace fake

// --- control exports ---------------------------------------------------------

QUARN_EXPORT void QUARN_CDECL QuarnFake_SetAnswer(const char* export_name, int result,
                                                  const char* text) {
    fake::State& s = fake::state();
    std::lock_guard<std::mutex> guard(s.lock);
    fake::Answer& a = s.answers[export_name];
    a.scripted = true;
    a.result = result;
    a.has_text = text != nullptr;
    a.text = text != nullptr ? text : "";
    a.pointer = nullptr;
}

QUARN_EXPORT void QUARN_CDECL QuarnFake_SetAnswerPointer(const char* export_name, int result,
                                                         void* pointer) {
    fake::State& s = fake::state();
    std::lock_guard<std::mutex> guard(s.lock);
    fake::Answer& a = s.answers[export_name];
    a.scripted = true;
    a.result = result;
    a.has_text = false;
    a.pointer = pointer;
}

QUARN_EXPORT void QUARN_CDECL QuarnFake_QueueAnswer(const char* export_name, int result,
                                                    const char* text) {
    fake::State& s = fake::state();
    std::lock_guard<std::mutex> guard(s.lock);
    fake::Answer a;
    a.scripted = true;
    a.result = result;
    a.has_text = text != nullptr;
    a.text = text != nullptr ? text : "";
    s.queued[export_name].push_back(a);
}

QUARN_EXPORT int QUARN_CDECL QuarnFake_CallCount() {
    fake::State& s = fake::state();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.calls.size());
}

QUARN_EXPORT int QUARN_CDECL QuarnFake_GetCall(int index, char* name, int name_size,
                                               char* arguments, int arguments_size) {
    fake::State& s = fake::state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (index < 0 || static_cast<std::size_t>(index) >= s.calls.size()) return 0;
    fake::copy_out(s.calls[static_cast<std::size_t>(index)].name, name, name_size);
    fake::copy_out(s.calls[static_cast<std::size_t>(index)].arguments, arguments, arguments_size);
    return 1;
}

QUARN_EXPORT void QUARN_CDECL QuarnFake_Reset() {
    fake::State& s = fake::state();
    void (*hook)() = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.calls.clear();
        s.answers.clear();
        s.queued.clear();
        hook = s.reset_hook;
    }
    if (hook != nullptr) hook();
}
