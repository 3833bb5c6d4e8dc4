// The trace ring: the shared layout that LogTrace writes and a diagnostic
// reader (quarnctl trace, the tests) creates and drains.
//
// Mapping "Global\KORV_Single_ShareMemory", 555012 bytes: a 32-bit record
// count, then 128 slots of one 4336-byte record each. The write event guards
// the ring (waiting takes it, setting gives it back); the read event tells the
// reader that records are waiting. All integers are 32-bit little-endian, all
// texts zero-terminated and zero-padded GBK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cutil/held_objects.h"
#include "cutil/trace_fields.h"
#include "os/types.h"

namespace cutil::trace {

constexpr char kMappingName[] = "Global\\KORV_Single_ShareMemory";
constexpr char kWriteEventName[] = "Global\\KORV_Single_EventWrite";
constexpr char kReadEventName[] = "Global\\KORV_Single_EventRead";

constexpr std::uint32_t kSlotCount = 128;
constexpr std::uint32_t kHeaderSize = 240;  // everything before the message
constexpr std::uint32_t kMessageSize = 4096;
constexpr std::uint32_t kMaxMessageLength = kMessageSize - 1;
constexpr std::uint32_t kTextFieldLength = 63;  // module, source, function
constexpr std::uint32_t kWriterWaitMs = 1000;
constexpr std::uint32_t kReaderTurnWaitMs = 30000;

// One record, exactly as it lies in a slot.
struct Record {
    std::uint32_t length;  // 240 + message length + 1
    std::uint32_t level;   // 1 error, 2 information
    char date[12];         // "%04d-%02d-%02d"
    char time[16];         // "%02d:%02d:%02d.%03d"
    char module[64];
    std::uint32_t process_id;
    std::uint32_t thread_id;
    char source[64];
    char function[64];
    std::uint32_t line;
    char message[kMessageSize];
};

static_assert(offsetof(Record, length) == 0);
static_assert(offsetof(Record, level) == 4);
static_assert(offsetof(Record, date) == 8);
static_assert(offsetof(Record, time) == 20);
static_assert(offsetof(Record, module) == 36);
static_assert(offsetof(Record, process_id) == 100);
static_assert(offsetof(Record, thread_id) == 104);
static_assert(offsetof(Record, source) == 108);
static_assert(offsetof(Record, function) == 172);
static_assert(offsetof(Record, line) == 236);
static_assert(offsetof(Record, message) == kHeaderSize);
static_assert(sizeof(Record) == 4336);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the ring is little-endian");

constexpr std::size_t kCountOffset = 0;
constexpr std::size_t kFirstSlotOffset = 4;
constexpr std::size_t kMappingSize = kFirstSlotOffset + kSlotCount * sizeof(Record);
static_assert(kMappingSize == 555012);

constexpr std::size_t slot_offset(std::uint32_t slot) {
    return kFirstSlotOffset + std::size_t{slot} * sizeof(Record);
}

// A record with its texts as strings (still GBK), for display and tests.
struct DecodedRecord : DecodedStamp {
    std::uint32_t length = 0;
    std::uint32_t level = 0;
    std::string message;
};

// Reads each text up to its terminator or the end of its field, so a record
// written by a faulty peer never reads past the field.
DecodedRecord decode(const Record& record);

// The reader's side of the ring. Holding a Reader keeps the three objects
// alive; without one (and without another reader) LogTrace records nothing.
class Reader {
  public:
    // Creates the objects as the outside reader does: both events auto-reset
    // and initially set (the first writer takes the ring at once), and the
    // zero-filled mapping. Opens them instead when another reader exists.
    // First waits at most `turn_timeout_ms` for the readers' turn
    // (trace_turn.h); without it the ring is shared with the other reader.
    bool create(std::uint32_t turn_timeout_ms = kReaderTurnWaitMs);
    void close() { objects_.close(); }
    bool is_open() const { return objects_.is_open(); }
    bool holds_turn() const { return objects_.holds_turn(); }

    // Waits at most `timeout_ms` for the read event (records are waiting).
    bool wait_for_records(std::uint32_t timeout_ms);

    // Takes the write event (at most `timeout_ms`), copies the waiting
    // records in slot order, resets the count and gives the ring back.
    // False when the ring could not be taken; `out` is replaced.
    bool drain(std::vector<Record>* out, std::uint32_t timeout_ms = 2000);

    // The mapped ring, for tests that inspect the count or raw slots.
    void* ring() const { return objects_.view(); }

  private:
    os::Handle write_event() const { return objects_.event(0); }
    os::Handle read_event() const { return objects_.event(1); }

    HeldObjects objects_;
};

}  // namespace cutil::trace
