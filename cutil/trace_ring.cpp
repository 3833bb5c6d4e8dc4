// The reader's side of the trace ring: create the objects, drain, decode.
#include "cutil/trace_ring.h"

#include <cstring>

#include "cutil/trace_fields.h"
#include "cutil/trace_turn.h"
#include "os/event.h"

namespace cutil::trace {

DecodedRecord decode(const Record& record) {
    DecodedRecord out;
    out.length = record.length;
    out.level = record.level;
    decode_stamp(record, &out);
    out.message = field_text(record.message);
    return out;
}

bool Reader::create(std::uint32_t turn_timeout_ms) {
    return objects_.create(kTraceReaderTurnName, turn_timeout_ms, {kWriteEventName, kReadEventName},
                           kMappingName, kMappingSize);
}

bool Reader::wait_for_records(std::uint32_t timeout_ms) {
    return is_open() && os::event_wait(read_event(), timeout_ms) == 0;
}

bool Reader::drain(std::vector<Record>* out, std::uint32_t timeout_ms) {
    out->clear();
    if (!is_open() || os::event_wait(write_event(), timeout_ms) != 0) return false;

    auto* base = static_cast<unsigned char*>(objects_.view());
    std::uint32_t count;
    std::memcpy(&count, base + kCountOffset, sizeof count);
    if (count > kSlotCount) count = kSlotCount;  // a writer's bad value
    out->resize(count);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        std::memcpy(&(*out)[slot], base + slot_offset(slot), sizeof(Record));
    }
    const std::uint32_t empty = 0;
    std::memcpy(base + kCountOffset, &empty, sizeof empty);

    os::event_set(write_event());
    return true;
}

}  // namespace cutil::trace
