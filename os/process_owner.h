// Processes of the calling user only: whether "an assistant runs" must not
// count a process that another user started under the same name.
#pragma once

namespace os {

// As process_count_by_name (the listed name over its own length against
// the beginning of `exe_name`, without regard to case; counting stops at
// `stop_at`, 0 = count all), counting only processes that run as the
// calling user. A process whose owner cannot be read is not counted.
int process_count_own_by_name(const char* exe_name, int stop_at);

}  // namespace os
