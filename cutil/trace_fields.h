// Fields that the trace record and the allocation table's site record share:
// the module name, the local date and time stamps, the cut text fields.
// Nothing here takes memory from the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace cutil::trace {

// The file name of the module this code is linked into ("QuarnAssAutoCheck.dll"
// inside the product, the program's own name inside a tool): the part of the
// module path after its last "\" (never the first character), cut to size-1
// characters; empty when the path has no such "\" or cannot be read. Returns
// the length written.
std::size_t own_module_name(char* out, std::size_t size);

// The same rule on a given path.
std::size_t module_name_from_path(const char* path, char* out, std::size_t size);

// Local date "%04d-%02d-%02d" and time "%02d:%02d:%02d.%03d" of now.
void stamp_local_time(char (&date)[12], char (&time)[16]);

// Copies at most `limit` characters of `text` (null = empty) into a field
// that is already zero-filled and longer than `limit`.
void copy_cut(char* field, const char* text, std::size_t limit);

// `source` without a leading ".\" (null stays null).
const char* strip_dot_backslash(const char* source);

// The caller's stamp that trace records and allocation sites share, with its
// texts as strings (still GBK), for display and tests.
struct DecodedStamp {
    std::string date;
    std::string time;
    std::string module;
    std::uint32_t process_id = 0;
    std::uint32_t thread_id = 0;
    std::string source;
    std::string function;
    std::uint32_t line = 0;
};

// A field's text for the readers: up to its terminator or the field's end,
// so a record written by a faulty peer never reads past the field.
template <std::size_t N>
std::string field_text(const char (&field)[N]) {
    const void* end = std::memchr(field, '\0', N);
    const std::size_t length = end == nullptr ? N : static_cast<const char*>(end) - field;
    return std::string(field, length);
}

// Copies the stamp fields of a trace record or a site record.
template <class Record>
void decode_stamp(const Record& record, DecodedStamp* out) {
    out->date = field_text(record.date);
    out->time = field_text(record.time);
    out->module = field_text(record.module);
    out->process_id = record.process_id;
    out->thread_id = record.thread_id;
    out->source = field_text(record.source);
    out->function = field_text(record.function);
    out->line = record.line;
}

}  // namespace cutil::trace
