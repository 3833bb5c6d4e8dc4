#include "cutil/file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cutil/memory.h"
#include "os/error.h"
#include "os/file.h"
#include "os/memory.h"
#include "os/text.h"
#include "os/time.h"

namespace {

constexpr const char kSource[] = "Cutil_File.cpp";
constexpr std::size_t kPathSize = 260;
constexpr std::size_t kVersionSize = 64;

// The callers' buffers hold 259 characters; a longer path is refused rather
// than cut to a different file's name.
bool path_fits(const char* path) {
    if (path == nullptr) return false;
    if (std::strlen(path) < kPathSize) return true;
    os::set_last_error(os::kErrorFilenameExcedRange);
    return false;
}

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// Moves `path` to "<path>.<n>". The number starts at the low 12 bits of the
// tick count; a name left there by an earlier move makes it try the next
// number (still 0..4095) instead of failing. *aside receives the new name.
bool move_aside(const char* path, char (&aside)[kPathSize]) {
    const unsigned first = os::tick_count() & 0xFFFu;
    for (unsigned step = 0; step < 0x1000u; ++step) {
        const int length =
            std::snprintf(aside, sizeof aside, "%s.%u", path, (first + step) & 0xFFFu);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof aside) {
            os::set_last_error(os::kErrorFilenameExcedRange);
            return false;
        }
        if (os::file_move(path, aside)) return true;
        const std::uint32_t error = os::last_error();
        if (error != os::kErrorAlreadyExists && error != os::kErrorFileExists) return false;
    }
    return false;
}

constexpr std::uint32_t kHiddenSystem = os::kFileAttributeHidden | os::kFileAttributeSystem;

// The version block from the process heap, registered with the allocation
// tracker while it lives.
class VersionBlock {
  public:
    explicit VersionBlock(std::uint32_t size) : size_(size), block_(MemAlloc_fre(size)) {
        cutil_memory_track(kSource, block_, size_, "cutil_file_GetVersion", __LINE__);
    }
    ~VersionBlock() {
        if (block_ == nullptr) return;
        // MemFree_fre keeps a block whose heap size reads 0: only a block it
        // releases leaves the table (before the release, so that no other
        // thread can be handed the same address while it is still listed).
        if (os::heap_size(block_) > 0) cutil_memory_untrack(block_);
        MemFree_fre(block_);
    }
    VersionBlock(const VersionBlock&) = delete;
    VersionBlock& operator=(const VersionBlock&) = delete;

    void* get() const { return block_; }
    std::uint32_t size() const { return size_; }

  private:
    std::uint32_t size_;
    void* block_;
};

// The value as the output text: UTF-16 (by the system's text-kind test) is
// converted to the ANSI code page, anything else copied, at most 63 bytes.
void copy_version_text(const void* value, std::uint32_t length, char* output) {
    std::memset(output, 0, kVersionSize);
    if (os::text_looks_utf16(value, length)) {
        char16_t wide[kVersionSize] = {};
        const std::size_t units = length / 2 < kVersionSize - 1 ? length / 2 : kVersionSize - 1;
        std::memcpy(wide, value, units * sizeof(char16_t));
        if (os::wide_to_acp(wide, output, kVersionSize) == static_cast<std::size_t>(-1)) {
            std::memset(output, 0, kVersionSize);
        }
        return;
    }
    const char* text = static_cast<const char*>(value);
    for (std::size_t i = 0; i < kVersionSize - 1 && i < length && text[i] != '\0'; ++i) {
        output[i] = text[i];
    }
}

}  // namespace

int cutil_file_CreateDirectory(const char* path) {
    if (!path_fits(path)) return 0;
    char buffer[kPathSize];
    std::strcpy(buffer, path);
    int result = 1;  // no creation needed
    for (std::size_t i = 0; buffer[i] != '\0'; ++i) {
        if (i == 0 || !is_separator(buffer[i])) continue;  // a leading "\" names no directory
        const char separator = buffer[i];
        buffer[i] = '\0';
        // A directory already there (a drive "C:" included) is what the
        // caller wants: only a failure to have the directory makes it 0.
        const bool created = os::directory_create(buffer);
        const std::uint32_t attributes = created ? 0 : os::file_attributes(buffer);
        result = created || (attributes != os::kInvalidFileAttributes &&
                             (attributes & os::kFileAttributeDirectory) != 0);
        buffer[i] = separator;
    }
    return result;
}

int cutil_file_Copy(const char* destination, const char* source) {
    if (!path_fits(destination) || !path_fits(source)) return 0;
    cutil_file_CreateDirectory(destination);
    const std::uint32_t attributes = os::file_attributes(destination);
    if (attributes == os::kInvalidFileAttributes ||
        (attributes & (os::kFileAttributeReadOnly | kHiddenSystem)) != 0) {
        os::file_set_attributes(destination, os::kFileAttributeNormal);
    }
    if (os::file_copy(source, destination, false)) return 1;
    if (os::last_error() != os::kErrorSharingViolation) return 0;

    char aside[kPathSize];
    if (!move_aside(destination, aside)) return 0;
    os::file_schedule_delete_at_restart(aside);
    os::file_set_attributes(aside, kHiddenSystem);
    return os::file_copy(source, destination, false) ? 1 : 0;
}

int cutil_file_Delete(const char* path) {
    if (!path_fits(path)) return 0;
    if (os::file_delete(path)) return 1;
    if (os::last_error() != os::kErrorAccessDenied) return 0;

    char aside[kPathSize];
    if (!move_aside(path, aside)) return 0;
    os::file_set_attributes(aside, kHiddenSystem);
    return os::file_schedule_delete_at_restart(aside) ? 1 : 0;
}

int cutil_file_GetVersion(const char* path, char* output) {
    if (output == nullptr || !path_fits(path)) return 0;
    const std::uint32_t size = os::file_version_info_size(path);
    if (size == 0) return 0;
    VersionBlock block(size);
    if (block.get() == nullptr || !os::file_version_info(path, size, block.get())) return 0;

    const void* translation = nullptr;
    std::uint32_t translation_length = 0;
    if (!os::file_version_query(block.get(), "\\VarFileInfo\\Translation", &translation,
                                &translation_length) ||
        translation_length < 4) {
        return 0;
    }
    std::uint16_t language_and_code_page[2];
    std::memcpy(language_and_code_page, translation, sizeof language_and_code_page);
    const unsigned language = language_and_code_page[0];
    const unsigned code_page = language_and_code_page[1];
    char sub_block[64];
    std::snprintf(sub_block, sizeof sub_block, "\\StringFileInfo\\%02x%02x%02x%02x\\%s",
                  language >> 8, language & 0xFFu, code_page >> 8, code_page & 0xFFu,
                  "FileVersion");

    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!os::file_version_query(block.get(), sub_block, &value, &length)) return 0;
    copy_version_text(value, length, output);
    return 1;
}
