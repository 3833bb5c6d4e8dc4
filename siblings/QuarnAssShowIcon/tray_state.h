// The tray as other processes see it: icon, tooltip, menu entries, balloon
// and double-click event of the one tray module of the user's session, kept
// in named shared memory under a named mutex. The tray module writes it on
// every change; quarnctl tray prints it and clicks its entries. On POSIX,
// which has no notification area, this state is the tray.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tray_state {

inline constexpr char kMemoryName[] = "QuarnTrayState";
inline constexpr char kMutexName[] = "QuarnTrayStateLock";
// The event name of a separator entry.
inline constexpr char kSeparatorEvent[] = "MF_SEPARATOR";

inline constexpr int kMaxEntries = 32;
inline constexpr std::size_t kCaptionSize = 64;
inline constexpr std::size_t kEventNameSize = 64;
inline constexpr std::size_t kPathSize = 260;
inline constexpr std::size_t kTooltipSize = 256;
inline constexpr std::size_t kBalloonTitleSize = 64;
inline constexpr std::size_t kBalloonTextSize = 256;

struct Entry {
    char caption[kCaptionSize];
    char event_name[kEventNameSize];
};

// The shared layout; every text is GBK and zero-terminated within its field.
struct State {
    std::uint32_t magic;
    std::uint32_t owner_pid;  // the process whose tray module wrote last
    std::uint32_t icon_shown;
    char icon_path[kPathSize];  // as given to AddTrayIcon
    char tooltip[kTooltipSize];
    std::int32_t entry_count;
    Entry entries[kMaxEntries];
    std::uint32_t balloon_shown;
    char balloon_title[kBalloonTitleSize];
    char balloon_text[kBalloonTextSize];
    std::int32_t balloon_ms;
    char balloon_time[20];        // local time it was shown, "%04d-%02d-%02d %02d:%02d:%02d"
    std::int32_t notify_message;  // 0: no mouse message registered
    char notify_event[kEventNameSize];
};

// Copies a GBK text into a field of `size` bytes, zero-terminated; false
// (and the field emptied) when it does not fit whole.
bool put(char* field, std::size_t size, const char* text);
// Copies with a cut that never splits a two-byte character.
void put_cut(char* field, std::size_t size, const char* text);

// The module's side: runs `change` on this process's tray under the named
// mutex, then publishes it whole (the shared object is created when missing;
// one that cannot be had leaves the tray working, unseen). Returns what
// `change` returns.
template <typename Change>
auto with_state(Change change) -> decltype(change(*static_cast<State*>(nullptr)));

// A copy of the published state, for readers (quarnctl). False when no tray
// module has published one in this session.
bool read(State* out);

enum class Click { kDone, kNoTray, kNoEntry, kNoEvent };
// Sets the named event of the entry captioned `caption` (a separator is no
// entry), as choosing it in the menu does.
Click click(const char* caption);
// Sets the event registered for the icon's mouse message, as a double click.
Click double_click();
// Sets a named event that the tray's owner created; false when none exists.
bool set_named_event(const char* event_name);

// Implementation detail of with_state.
class Locked {
  public:
    Locked();
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    State& state() { return *state_; }

  private:
    void* mutex_;
    State* state_;
};

template <typename Change>
auto with_state(Change change) -> decltype(change(*static_cast<State*>(nullptr))) {
    Locked locked;
    return change(locked.state());
}

}  // namespace tray_state
