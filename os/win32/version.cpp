#include <windows.h>

#include "os/file.h"

namespace os {

std::uint32_t file_version_info_size(const char* path) {
    DWORD ignored = 0;
    return GetFileVersionInfoSizeA(path, &ignored);
}

bool file_version_info(const char* path, std::uint32_t size, void* block) {
    return GetFileVersionInfoA(path, 0, size, block) != 0;
}

bool file_version_query(const void* block, const char* sub_block, const void** value,
                        std::uint32_t* length) {
    void* found = nullptr;
    UINT found_length = 0;
    if (VerQueryValueA(block, sub_block, &found, &found_length) == 0) return false;
    *value = found;
    *length = found_length;
    return true;
}

bool text_looks_utf16(const void* data, std::size_t bytes) {
    if (data == nullptr || bytes == 0 || bytes > 0x7FFFFFFF) return false;
    INT tests = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_REVERSE_ASCII16 |
                IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_REVERSE_STATISTICS;
    return IsTextUnicode(data, static_cast<int>(bytes), &tests) != 0;
}

}  // namespace os
