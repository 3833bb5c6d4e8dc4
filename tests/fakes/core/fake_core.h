// The module side of every test double: records calls and answers them as
// scripted, falling back to each export's default behaviour.
#pragma once

#include <string>

#include "os/compiler.h"

namespace fake {

// Records a call of `export_name` with its arguments formatted by `format`.
void record(const char* export_name, const char* format, ...) QUARN_PRINTF(2, 3);

// A null text shown as "(null)" in a record.
inline const char* text(const char* value) {
    return value != nullptr ? value : "(null)";
}

struct Answer {
    bool scripted = false;
    int result = 0;
    bool has_text = false;
    std::string text;
    void* pointer = nullptr;
};

// The scripted answer of `export_name` (scripted = false when none).
Answer answer(const char* export_name);

// The scripted result, or `fallback` when none was scripted.
int result_or(const char* export_name, int fallback);

// Hands out a global-allocator copy of `value` through `out` (when given).
void hand_out_text(char** out, const std::string& value);

// Answers an export with a text out-parameter: the oldest queued answer when
// one waits (QuarnFake_QueueAnswer), else the scripted result and text when
// scripted, else `fallback_result` and (when not null) `fallback_text`.
int answer_with_text(const char* export_name, char** out, int fallback_result,
                     const char* fallback_text);

// Copies `value` into `out` of `size` bytes, cut and zero-terminated.
void copy_out(const std::string& value, char* out, int size);

// Called by Reset; each module may register one hook for its own state.
void set_reset_hook(void (*hook)());

}  // namespace fake
