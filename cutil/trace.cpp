// LogTrace: formats one record on the stack and drops it into the reader's
// ring. Every call opens, maps, writes and closes; nothing is kept between
// calls and nothing is taken from the heap.
#include "cutil/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cutil/trace_fields.h"
#include "cutil/trace_ring.h"
#include "os/error.h"
#include "os/event.h"
#include "os/process.h"
#include "os/shared_memory.h"

namespace {

using cutil::trace::Record;

constexpr std::size_t kErrorTextLength = 1016;
constexpr char kErrorPrefix[] = " Error=";

// Appends `text` to the message, cut so that the message keeps at most
// kMaxMessageLength characters.
std::size_t append_cut(char* message, std::size_t length, const char* text) {
    const std::size_t room = cutil::trace::kMaxMessageLength - length;
    std::size_t add = std::strlen(text);
    if (add > room) add = room;
    std::memcpy(message + length, text, add);
    message[length + add] = '\0';
    return length + add;
}

// The " Error=" suffix: the system's text for `code`, at most 1016 characters.
std::size_t append_error_suffix(char* message, std::size_t length, std::uint32_t code) {
    char suffix[sizeof kErrorPrefix + kErrorTextLength];
    std::memcpy(suffix, kErrorPrefix, sizeof kErrorPrefix);
    os::error_message(code, suffix + sizeof kErrorPrefix - 1, kErrorTextLength + 1);
    return append_cut(message, length, suffix);
}

// The opened ring; closes whatever was opened, in reverse order.
struct OpenRing {
    os::Handle read_event = nullptr;
    os::Handle write_event = nullptr;
    os::SharedMemory memory;

    ~OpenRing() {
        os::shared_memory_close(&memory);
        if (write_event != nullptr) os::event_close(write_event);
        if (read_event != nullptr) os::event_close(read_event);
    }

    bool open() {
        read_event = os::event_open(cutil::trace::kReadEventName);
        if (read_event == nullptr) return false;
        write_event = os::event_open(cutil::trace::kWriteEventName);
        if (write_event == nullptr) return false;
        return os::shared_memory_open(cutil::trace::kMappingName, cutil::trace::kMappingSize,
                                      &memory);
    }
};

void fill_header(Record* record, int level, const char* source, const char* function, int line) {
    using namespace cutil::trace;
    record->level = static_cast<std::uint32_t>(level);
    record->process_id = os::process_id();
    record->thread_id = os::thread_id();
    stamp_local_time(record->date, record->time);
    own_module_name(record->module, sizeof record->module);
    copy_cut(record->source, strip_dot_backslash(source), kTextFieldLength);
    copy_cut(record->function, function, kTextFieldLength);
    record->line = static_cast<std::uint32_t>(line);
}

// Puts the record into the next slot, or over slot 0 when the ring is full.
void store(const OpenRing& ring, const Record& record) {
    auto* base = static_cast<unsigned char*>(ring.memory.view);
    std::uint32_t count;
    std::memcpy(&count, base + cutil::trace::kCountOffset, sizeof count);
    // A count at or beyond the slot number (a full ring, or a peer's bad
    // value) never indexes past the ring.
    std::uint32_t slot = 0;
    if (count < cutil::trace::kSlotCount) {
        slot = count;
        ++count;
        std::memcpy(base + cutil::trace::kCountOffset, &count, sizeof count);
    }
    std::memcpy(base + cutil::trace::slot_offset(slot), &record, sizeof record);
}

}  // namespace

void LogTrace(const char* function, int level, const char* source, int line, const char* format,
              ...) {
    // Before any other call can overwrite it.
    const std::uint32_t error_code = os::last_error();

    OpenRing ring;
    if (!ring.open()) return;  // no reader: nothing is recorded

    Record record;
    std::memset(&record, 0, sizeof record);

    std::size_t length = 0;
    if (format != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        const int written =
            std::vsnprintf(record.message, sizeof record.message, format, arguments);
        va_end(arguments);
        // Terminated whatever the runtime's vsnprintf does on overflow or on
        // an encoding error.
        record.message[cutil::trace::kMaxMessageLength] = '\0';
        if (written < 0) record.message[0] = '\0';
        length = std::strlen(record.message);
    }
    if (level == kTraceError && error_code != 0) {
        length = append_error_suffix(record.message, length, error_code);
    }
    record.length = static_cast<std::uint32_t>(cutil::trace::kHeaderSize + length + 1);
    fill_header(&record, level, source, function, line);

    // After a timed-out wait the events are set all the same: a holder that
    // died with the ring taken would otherwise lock every writer out forever.
    if (os::event_wait(ring.write_event, cutil::trace::kWriterWaitMs) == 0) {
        store(ring, record);
    }
    os::event_set(ring.write_event);
    os::event_set(ring.read_event);
}
