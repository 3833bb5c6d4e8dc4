#include "tests/fakes/trace_capture.h"

#include <gtest/gtest.h>

#include "os/process.h"
#include "os/time.h"

namespace quarn::test {

TraceCapture::TraceCapture() {
    EXPECT_TRUE(reader_.create()) << "the trace ring is not available";
}

const std::vector<cutil::trace::DecodedRecord>& TraceCapture::records() {
    std::vector<cutil::trace::Record> raw;
    if (reader_.drain(&raw)) {
        const std::uint32_t self = os::process_id();
        for (const auto& record : raw) {
            cutil::trace::DecodedRecord decoded = cutil::trace::decode(record);
            if (decoded.process_id == self) records_.push_back(std::move(decoded));
        }
    }
    return records_;
}

void TraceCapture::clear() {
    records();
    records_.clear();
}

std::vector<cutil::trace::DecodedRecord> TraceCapture::find(const char* function,
                                                            const char* message_prefix) {
    std::vector<cutil::trace::DecodedRecord> found;
    for (const auto& record : records()) {
        if (record.function == function && record.message.rfind(message_prefix, 0) == 0) {
            found.push_back(record);
        }
    }
    return found;
}

bool TraceCapture::wait_for(const char* function, const char* message_prefix, unsigned timeout_ms) {
    for (unsigned waited = 0;; waited += 20) {
        if (!find(function, message_prefix).empty()) return true;
        if (waited >= timeout_ms) return false;
        os::sleep_ms(20);
    }
}

}  // namespace quarn::test
