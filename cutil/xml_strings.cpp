// Stored strings: reference decoding, white-space stripping, and escaping for
// output.
#include <cstring>

#include "cutil/xml_internal.h"

namespace cutil::xml {
namespace {

bool starts_with(const char* text, std::size_t length, std::size_t at, const char* literal,
                 std::size_t literal_length) {
    return length - at >= literal_length && std::memcmp(text + at, literal, literal_length) == 0;
}

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive prefix test on a terminated string.
bool starts_with_folded(const char* text, const char* literal) {
    for (; *literal != '\0'; ++text, ++literal) {
        if (fold(*text) != *literal) return false;  // also stops at the terminator
    }
    return true;
}

}  // namespace

bool begins_reference(const char* ampersand) {
    const char* rest = ampersand + 1;
    return starts_with_folded(rest, "lt;") || starts_with_folded(rest, "gt;") ||
           starts_with_folded(rest, "amp;") || starts_with_folded(rest, "quot;");
}

// The documented decoding replaces all "&lt;", then all "&gt;", then "&amp;"
// searching again from the start after each replacement, then all "&quot;".
// Only the "&amp;" pass can create new references, and only at the ampersand
// it leaves: "&amp;amp;amp;" collapses to one "&", and when "quot;" follows
// the chain the last pass turns that "&quot;" into a double quote, while a
// "lt;" or "gt;" after it stays (their passes are over). Every other
// reference is replaced where it stands, so one left-to-right pass suffices.
std::size_t decode_references(const char* in, std::size_t length, char* out) {
    // Most strings hold no reference: copy up to the first ampersand at once.
    const auto* ampersand = static_cast<const char*>(std::memchr(in, '&', length));
    std::size_t read = ampersand != nullptr ? static_cast<std::size_t>(ampersand - in) : length;
    if (out != in) std::memcpy(out, in, read);
    std::size_t written = read;
    while (read < length) {
        const char c = in[read];
        if (c != '&') {
            out[written++] = c;
            ++read;
        } else if (starts_with(in, length, read, "&lt;", 4)) {
            out[written++] = '<';
            read += 4;
        } else if (starts_with(in, length, read, "&gt;", 4)) {
            out[written++] = '>';
            read += 4;
        } else if (starts_with(in, length, read, "&quot;", 6)) {
            out[written++] = '"';
            read += 6;
        } else if (starts_with(in, length, read, "&amp;", 5)) {
            std::size_t after = read + 5;
            while (starts_with(in, length, after, "amp;", 4)) after += 4;
            if (starts_with(in, length, after, "quot;", 5)) {
                out[written++] = '"';
                read = after + 5;
            } else {
                out[written++] = '&';
                read = after;
            }
        } else {
            out[written++] = '&';
            ++read;
        }
    }
    return written;
}

std::size_t normalise_in_place(char* text, std::size_t length) {
    length = decode_references(text, length, text);
    while (length > 0 && is_space(text[length - 1])) --length;
    std::size_t start = 0;
    while (start < length && is_space(text[start])) ++start;
    length -= start;
    std::memmove(text, text + start, length);
    text[length] = '\0';
    return length;
}

char* store_string(const char* text, std::size_t length) {
    auto* copy = static_cast<char*>(allocate(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    normalise_in_place(copy, length);
    return copy;
}

namespace {

// Bytes that stop the scan on output: the terminator and what may change.
// Names and texts are short, so a table beats the C library's vector
// scanners, whose setup costs more than the scan.
struct StopTable {
    bool stop[2][256] = {};
    constexpr StopTable() {
        for (int mode = 0; mode < 2; ++mode) {
            stop[mode][0] = true;
            stop[mode][static_cast<unsigned char>('<')] = true;
            stop[mode][static_cast<unsigned char>('>')] = true;
            stop[mode][static_cast<unsigned char>('&')] = true;
        }
        stop[static_cast<int>(Escape::kQuotes)][static_cast<unsigned char>('"')] = true;
    }
};
constexpr StopTable kStops;

// The end of the run of bytes at `p` that are copied as they are.
const char* run_end(const char* p, Escape mode) {
    const bool* stop = kStops.stop[static_cast<int>(mode)];
    while (!stop[static_cast<unsigned char>(*p)]) ++p;
    return p;
}

}  // namespace

std::size_t escaped_length(const char* text, Escape mode) {
    std::size_t length = 0;
    const char* p = text;
    for (;;) {
        const char* end = run_end(p, mode);
        length += static_cast<std::size_t>(end - p);
        p = end;
        if (*p == '\0') break;
        if (*p == '&') {
            length += begins_reference(p) ? 1 : 5;
        } else {
            length += *p == '"' ? 6 : 4;
        }
        ++p;
    }
    return length;
}

char* write_escaped_within(const char* text, Escape mode, char* out, const char* limit) {
    for (const char* p = text;;) {
        const char* end = run_end(p, mode);
        const auto run = static_cast<std::size_t>(end - p);
        if (static_cast<std::size_t>(limit - out) < run) return nullptr;
        std::memcpy(out, p, run);
        out += run;
        p = end;
        if (*p == '\0') return out;
        const char* replacement = nullptr;
        std::size_t n = 1;
        if (*p == '<') {
            replacement = "&lt;";
            n = 4;
        } else if (*p == '>') {
            replacement = "&gt;";
            n = 4;
        } else if (*p == '"') {
            replacement = "&quot;";
            n = 6;
        } else if (!begins_reference(p)) {
            replacement = "&amp;";
            n = 5;
        }
        if (static_cast<std::size_t>(limit - out) < n) return nullptr;
        if (replacement == nullptr) {
            *out = *p;
        } else {
            std::memcpy(out, replacement, n);
        }
        out += n;
        ++p;
    }
}

void write_escaped(const char* text, Escape mode, char* out) {
    for (const char* p = text;;) {
        const char* end = run_end(p, mode);
        const auto run = static_cast<std::size_t>(end - p);
        std::memcpy(out, p, run);
        out += run;
        p = end;
        if (*p == '\0') return;
        const char* replacement = nullptr;
        switch (*p) {
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '&':
                if (!begins_reference(p)) replacement = "&amp;";
                break;
            default:  // a double quote, only looked for where it is escaped
                replacement = "&quot;";
                break;
        }
        if (replacement == nullptr) {
            *out++ = *p;
        } else {
            const std::size_t n = std::strlen(replacement);
            std::memcpy(out, replacement, n);
            out += n;
        }
        ++p;
    }
}

}  // namespace cutil::xml
