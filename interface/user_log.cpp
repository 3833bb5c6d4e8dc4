#include "interface/user_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "interface/cached_entry_points.h"
#include "os/time.h"

namespace {

constexpr std::size_t kLineSize = 4096;
// The line before its "\n"; with the "\n" and the terminator it fills the buffer.
constexpr std::size_t kMaxLineBeforeNewline = kLineSize - 2;

// Length of `text` without a lead byte that lost its trail byte to the cut,
// so a cut line never ends in half a GBK character.
std::size_t whole_characters(const char* text, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
        const bool lead = static_cast<unsigned char>(text[i]) >= 0x81;
        if (lead && i + 1 == length) return i;
        i += lead ? 2 : 1;
    }
    return length;
}

}  // namespace

int Call_TarnLogToFile(const char* format, ...) {
    if (format == nullptr) return 0;
    const auto write = gateway::cached_log_writer();
    if (write == nullptr) return 0;

    char line[kLineSize];
    const os::DateTime now = os::local_time();
    int length = std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d          ",
                               now.year, now.month, now.day, now.hour, now.minute, now.second);
    if (length < 0) length = 0;
    std::size_t used = static_cast<std::size_t>(length);
    if (used > kMaxLineBeforeNewline) used = kMaxLineBeforeNewline;

    va_list arguments;
    va_start(arguments, format);
    // Room for the message up to the cut, plus its terminator.
    const int written =
        std::vsnprintf(line + used, kMaxLineBeforeNewline - used + 1, format, arguments);
    va_end(arguments);
    if (written < 0) line[used] = '\0';

    const std::size_t message_length = std::strlen(line + used);
    if (written > 0 && static_cast<std::size_t>(written) > message_length) {
        used += whole_characters(line + used, message_length);
    } else {
        used += message_length;
    }
    line[used] = '\n';
    line[used + 1] = '\0';
    return write(line);
}
