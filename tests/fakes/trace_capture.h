// Reading the traces a test provoked: holds the trace ring's reader side for
// its lifetime and collects this process's records.
#pragma once

#include <string>
#include <vector>

#include "cutil/trace_ring.h"

namespace quarn::test {

class TraceCapture {
  public:
    TraceCapture();

    // Drains the ring and returns every record of this process collected so
    // far (texts GBK).
    const std::vector<cutil::trace::DecodedRecord>& records();
    // Forgets what was collected (after draining what is waiting).
    void clear();

    // Records of `function` whose message starts with `message_prefix`.
    std::vector<cutil::trace::DecodedRecord> find(const char* function,
                                                  const char* message_prefix = "");
    // Waits up to `timeout_ms` for such a record to appear.
    bool wait_for(const char* function, const char* message_prefix, unsigned timeout_ms);

  private:
    cutil::trace::Reader reader_;
    std::vector<cutil::trace::DecodedRecord> records_;
};

}  // namespace quarn::test
