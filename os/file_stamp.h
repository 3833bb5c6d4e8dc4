// What tells whether a file may have changed since it was last looked at:
// its size, its last write and last change times and its identity on its
// volume. Writing, truncating, replacing or renaming over the file changes
// its stamp; a program that only sets the write time back does not hide a
// change (the change time moves on; on Windows its owner can set that too).
#pragma once

#include <cstdint>

namespace os {

struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t write_time = 0;   // nanoseconds (POSIX) or 100 ns (Windows)
    std::uint64_t change_time = 0;  // of the contents or the file's own record
    std::uint64_t volume = 0;
    std::uint64_t index = 0;  // the file's number on its volume

    bool operator==(const FileStamp& other) const {
        return size == other.size && write_time == other.write_time &&
               change_time == other.change_time && volume == other.volume && index == other.index;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path`; false when it cannot be examined.
bool file_stamp(const char* path, FileStamp* stamp);

}  // namespace os
