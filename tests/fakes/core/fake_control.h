// The control exports every test double has beside its module's real ones:
// the test scripts answers through them and reads the calls recorded.
// C-shaped on purpose: each module has its own runtime.
#pragma once

#include "os/compiler.h"

namespace fake {

// Sets the answer of `export_name` for every later call until reset:
// `result` is returned and, when `text` is not null, a new global-allocator
// copy of it is handed out through the export's text out-parameter.
using SetAnswerFunction = void(QUARN_CDECL*)(const char* export_name, int result, const char* text);
// The same with a pointer handed out (reply documents of the packet exchanges).
using SetAnswerPointerFunction = void(QUARN_CDECL*)(const char* export_name, int result,
                                                    void* pointer);
// Appends one answer of `export_name` to its queue: each call of an export
// answering with a text takes the oldest queued answer (result, and a copy
// of `text` when not null); with the queue empty the SetAnswer script (or
// the default) applies again. Reset empties the queues.
using QueueAnswerFunction = void(QUARN_CDECL*)(const char* export_name, int result,
                                               const char* text);
// Number of calls recorded since the last reset.
using CallCountFunction = int(QUARN_CDECL*)();
// Call `index` (from 0): export name and its arguments joined by "|"
// (texts as given, "(null)" for a null text). 0 when there is no such call.
using GetCallFunction = int(QUARN_CDECL*)(int index, char* name, int name_size, char* arguments,
                                          int arguments_size);
// Forgets answers, calls and the module's own state (stored configuration).
using ResetFunction = void(QUARN_CDECL*)();

inline constexpr char kSetAnswerName[] = "QuarnFake_SetAnswer";
inline constexpr char kSetAnswerPointerName[] = "QuarnFake_SetAnswerPointer";
inline constexpr char kQueueAnswerName[] = "QuarnFake_QueueAnswer";
inline constexpr char kCallCountName[] = "QuarnFake_CallCount";
inline constexpr char kGetCallName[] = "QuarnFake_GetCall";
inline constexpr char kResetName[] = "QuarnFake_Reset";

}  // namespace fake
