#include "siblings/QuarnAssShowIcon/tray_state.h"

#include <cstring>
#include <mutex>

#include "os/event.h"
#include "os/mutex.h"
#include "os/process.h"
#include "os/shared_memory.h"

namespace tray_state {
namespace {

constexpr std::uint32_t kMagic = 0x31525451;  // "QTR1"

// The threads of this process queue here first, so the state stays whole
// even when the named mutex cannot be had.
std::mutex g_local_lock;

// This process's tray: the module changes it, then publishes it whole, so
// the last process that changed its tray is the one the state shows.
State g_model{};
// The published copy, mapped for the life of the process; null when the
// shared object cannot be had (the tray then works unseen).
os::SharedMemory g_memory;
State* g_shared = nullptr;

void attach() {
    static const bool attached = [] {
        if (os::shared_memory_create(kMemoryName, sizeof(State), &g_memory) &&
            g_memory.size >= sizeof(State)) {
            g_shared = static_cast<State*>(g_memory.view);
        } else {
            os::shared_memory_close(&g_memory);
        }
        g_model.magic = kMagic;
        return true;
    }();
    static_cast<void>(attached);
}

}  // namespace

bool put(char* field, std::size_t size, const char* text) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length >= size) {
        field[0] = '\0';
        return false;
    }
    std::memcpy(field, text != nullptr ? text : "", length + 1);
    return true;
}

void put_cut(char* field, std::size_t size, const char* text) {
    std::size_t length = 0;
    for (std::size_t i = 0; text != nullptr && text[i] != '\0';) {
        const bool pair = static_cast<unsigned char>(text[i]) >= 0x81 && text[i + 1] != '\0';
        const std::size_t next = i + (pair ? 2 : 1);
        if (next > size - 1) break;
        i = length = next;
    }
    if (length != 0) std::memcpy(field, text, length);
    field[length] = '\0';
}

Locked::Locked() : mutex_(nullptr), state_(nullptr) {
    g_local_lock.lock();
    mutex_ = os::mutex_open(kMutexName);
    if (mutex_ != nullptr && !os::mutex_lock(mutex_)) {
        os::mutex_close(mutex_);
        mutex_ = nullptr;
    }
    attach();
    state_ = &g_model;
}

Locked::~Locked() {
    g_model.owner_pid = os::process_id();
    if (g_shared != nullptr) std::memcpy(g_shared, &g_model, sizeof g_model);
    if (mutex_ != nullptr) {
        os::mutex_unlock(mutex_);
        os::mutex_close(mutex_);
    }
    g_local_lock.unlock();
}

bool read(State* out) {
    os::SharedMemory memory;
    if (!os::shared_memory_open(kMemoryName, sizeof(State), &memory)) return false;
    bool found = false;
    {
        os::NamedMutexLock lock(kMutexName);
        std::memcpy(out, memory.view, sizeof *out);
        found = out->magic == kMagic;
    }
    os::shared_memory_close(&memory);
    if (!found) return false;
    // The writer may be of another build: keep every text inside its field.
    out->entry_count = out->entry_count < 0 ? 0 : out->entry_count;
    out->entry_count = out->entry_count > kMaxEntries ? kMaxEntries : out->entry_count;
    out->icon_path[kPathSize - 1] = out->tooltip[kTooltipSize - 1] = '\0';
    out->balloon_title[kBalloonTitleSize - 1] = out->balloon_text[kBalloonTextSize - 1] = '\0';
    out->balloon_time[sizeof out->balloon_time - 1] = '\0';
    out->notify_event[kEventNameSize - 1] = '\0';
    for (Entry& entry : out->entries) {
        entry.caption[kCaptionSize - 1] = entry.event_name[kEventNameSize - 1] = '\0';
    }
    return true;
}

bool set_named_event(const char* event_name) {
    os::Handle event = os::event_open(event_name);
    if (event == nullptr) return false;
    const bool set = os::event_set(event);
    os::event_close(event);
    return set;
}

Click click(const char* caption) {
    State state;
    if (!read(&state)) return Click::kNoTray;
    for (int i = 0; i < state.entry_count; ++i) {
        const Entry& entry = state.entries[i];
        if (std::strcmp(entry.caption, caption) != 0) continue;
        if (std::strcmp(entry.event_name, kSeparatorEvent) == 0) return Click::kNoEntry;
        return set_named_event(entry.event_name) ? Click::kDone : Click::kNoEvent;
    }
    return Click::kNoEntry;
}

Click double_click() {
    State state;
    if (!read(&state)) return Click::kNoTray;
    if (state.notify_message == 0 || state.notify_event[0] == '\0') return Click::kNoEntry;
    return set_named_event(state.notify_event) ? Click::kDone : Click::kNoEvent;
}

}  // namespace tray_state
