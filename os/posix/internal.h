// Shared inside the POSIX backend only: handle objects, errno mapping, paths.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "os/types.h"

namespace os::posix {

// --- errors ------------------------------------------------------------------

// The Win32 code that stands for an errno value (types.h lists the usual ones).
std::uint32_t error_from_errno(int error_number);
// set_last_error(error_from_errno(error_number)).
void set_last_error_from_errno(int error_number);

// --- handles -----------------------------------------------------------------

// Every os::Handle of the POSIX backend that is not a module points to one of
// these; the kind tells handle_wait and handle_close what it is.
enum class ObjectKind : std::uint32_t {
    kEvent = 0x45564e54,    // "EVNT"
    kMapping = 0x4d415050,  // "MAPP"
    kProcess = 0x50524f43,  // "PROC"
    kThread = 0x54485244,   // "THRD"
};

struct KernelObject {
    explicit KernelObject(ObjectKind k) : kind(k) {}
    ObjectKind kind;
};

// The object behind a handle when it is of `kind`; null otherwise.
KernelObject* object_of(Handle handle, ObjectKind kind);
// The kind of any handle made by this backend, or false for other pointers.
bool object_kind(Handle handle, ObjectKind* kind);

// Event operations used by handle_wait / handle_close.
int event_wait_object(Handle event, std::uint32_t timeout_ms);
void event_close_object(Handle event);

// --- named kernel objects ---------------------------------------------------

// A named event or mapping lives in one POSIX shared-memory segment: a page of
// header followed by the payload. See docs/platform.md for the design.
enum class NamedKind : std::uint32_t { kEvent = 1, kMapping = 2 };

struct NamedHeader {
    std::uint32_t magic;
    std::uint32_t kind;  // NamedKind
    std::uint64_t payload_size;
    // Event state: signalled flag and reset kind (1 = manual).
    std::atomic<std::uint32_t> signalled;
    std::uint32_t manual_reset;
};

constexpr std::size_t kNamedHeaderSize = 4096;

struct NamedSegment {
    std::string name;      // shared-memory name, for removal at the last close
    int fd = -1;           // holds a shared lock on byte 0 while open
    void* base = nullptr;  // header page followed by the payload
    std::size_t mapped = 0;
    NamedHeader* header() const { return static_cast<NamedHeader*>(base); }
    void* payload() const { return static_cast<char*>(base) + kNamedHeaderSize; }
};

enum class NamedResult { kCreated, kOpened, kFailed };

// With `create`: creates the object (kCreated, last error 0; `init` fills the
// fresh header, `payload_size` sizes it) or opens the live one of that name
// (kOpened, last error 183). Without: opens the live one or fails with last
// error 2. An object of another kind fails with 6; an opened object smaller
// than `payload_size` fails with 5 (what MapViewOfFile reports).
NamedResult named_create(const char* name, NamedKind kind, std::size_t payload_size, bool create,
                         void (*init)(NamedHeader* header, const void* context),
                         const void* context, NamedSegment* out);
// Unmaps, drops the holder lock, and removes the name when no holder is left.
void named_close(NamedSegment* segment);

// The process-shared wake-up word: every event change bumps it.
std::atomic<std::uint32_t>* hub_word();
void hub_wake();
// Waits until the hub word differs from `seen` or the timeout (ms) passes.
void hub_wait(std::uint32_t seen, std::uint32_t timeout_ms);

// The per-user shared-memory name of a Windows object name.
std::string encode_object_name(const char* name);

// --- processes ----------------------------------------------------------------

// Start time of a process in clock ticks since boot (field 22 of
// /proc/<pid>/stat); 0 when the process does not exist.
std::uint64_t process_start_time(int pid);

// --- paths ----------------------------------------------------------------------

// Windows-shaped paths used as they are on POSIX: every "\" becomes "/".
std::string native_path(const char* path);

// Copies `text` into out/size the way the Win32 "buffer + size" calls do:
// at most size-1 characters plus the terminator; returns the length written.
std::size_t copy_out(const std::string& text, char* out, std::size_t size);

// The executable file name of a running process (a /proc entry's name) as
// the Windows process list would show it; empty for kernel threads and
// processes already gone.
std::string process_file_name(const char* pid);

// Calls `visit(pid)` ("1234") for every process of this machine until it
// returns false. Processes of another pid namespace are not of this machine
// and are left out (process_list.cpp).
void for_each_process(const std::function<bool(const char* pid)>& visit);

// The counting rule of the Windows process list: the listed name over its
// own length against the beginning of `exe_name`, without regard to case (a
// shorter `exe_name` fails on its terminator).
bool listed_name_matches(const std::string& listed, const char* exe_name);

}  // namespace os::posix
