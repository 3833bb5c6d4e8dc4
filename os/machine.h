// Facts about the machine that the check-item plug-ins inspect: the running
// processes, the system's release, the registry (Windows only) and the
// native view of the file system. docs/plugins.md says what each platform
// reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

// The executable file name of every running process ("TarnAssistant.exe"),
// one entry per process, in the case the system lists it: the Toolhelp
// process list on Windows; on POSIX the file name of /proc/<pid>/exe, or of
// the first argument when that link cannot be read (another user's
// process); kernel threads have neither and are left out. False (last
// error set) when the list cannot be read at all.
bool process_names(std::vector<std::string>* names);

// The system's release as dotted text. Windows: "major.minor.build" from the
// kernel's own version record (RtlGetVersion), which compatibility shims do
// not lower as they lower GetVersionExA's. POSIX: the kernel release as
// uname reports it ("6.1.0-18-amd64"). False (last error set) on failure.
bool system_release(std::string* out);

enum class RegistryRoot {
    kClassesRoot,
    kCurrentUser,
    kLocalMachine,
    kUsers,
    kCurrentConfig,
};

enum class RegistryKind {
    kText,    // REG_SZ, REG_EXPAND_SZ (not expanded)
    kNumber,  // REG_DWORD, REG_QWORD
    kOther,   // any other type: its presence only
};

struct RegistryValue {
    RegistryKind kind = RegistryKind::kOther;
    std::string text;          // kText, in the system code page, without terminator
    std::uint64_t number = 0;  // kNumber
};

enum class RegistryRead {
    kFound,
    kKeyMissing,
    kValueMissing,
    kFailed,       // the key or value exists but cannot be read; last error set
    kUnsupported,  // no registry on this platform
};

// Reads `value_name` ("" for the key's default value) of `subkey` under
// `root`; a null `value_name` only asks whether the key exists. A 32-bit
// process on 64-bit Windows reads the 64-bit view (KEY_WOW64_64KEY), which is
// what the system and its native programs see. `out` may be null.
RegistryRead registry_read(RegistryRoot root, const char* subkey, const char* value_name,
                           RegistryValue* out);

// While alive, the calling thread's file operations see the native file
// system: on 64-bit Windows a 32-bit process is otherwise sent from System32
// to SysWOW64. Keep it around single calls: while it lives, modules the
// thread loads are looked for natively too. No effect elsewhere.
class NativeFileView {
  public:
    NativeFileView();
    ~NativeFileView();
    NativeFileView(const NativeFileView&) = delete;
    NativeFileView& operator=(const NativeFileView&) = delete;

  private:
    void* saved_ = nullptr;
    bool active_ = false;
};

}  // namespace os
