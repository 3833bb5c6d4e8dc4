// Version information on POSIX. Our modules and programs carry it in an ELF
// section ".quarn_version" (cmake/version_section.cpp.in): zero-terminated
// key and value texts, "Translation" first ("080404b0"), then the
// StringFileInfo values. The block handed to callers is
//   "QVER" | language (u16) | code page (u16) | size (u32) | the section's bytes
// and file_version_query answers the two kinds of sub-block the callers use.
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/error.h"
#include "os/file.h"
#include "os/posix/file_internal.h"
#include "os/posix/internal.h"
#include "os/text.h"

namespace os {
namespace {

constexpr char kSectionName[] = ".quarn_version";
constexpr char kMagic[4] = {'Q', 'V', 'E', 'R'};
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kMaxSection = 64 * 1024;

bool read_at(int fd, std::uint64_t offset, void* out, std::size_t size) {
    return pread(fd, out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// The section's file offset and size, for ELF32 and ELF64 little-endian.
template <typename Ehdr, typename Shdr>
bool find_section(int fd, std::uint64_t* offset, std::uint64_t* size) {
    Ehdr header;
    if (!read_at(fd, 0, &header, sizeof header)) return false;
    if (header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 ||
        header.e_shstrndx >= header.e_shnum) {
        return false;
    }
    std::vector<Shdr> sections(header.e_shnum);
    if (!read_at(fd, header.e_shoff, sections.data(), sections.size() * sizeof(Shdr))) return false;
    const Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size > kMaxSection * 16) return false;
    std::string table(names.sh_size, '\0');
    if (!read_at(fd, names.sh_offset, table.data(), table.size())) return false;
    for (const Shdr& section : sections) {
        if (section.sh_name >= table.size() || section.sh_type == SHT_NOBITS) continue;
        if (std::strcmp(table.c_str() + section.sh_name, kSectionName) != 0) continue;
        if (section.sh_size == 0 || section.sh_size > kMaxSection) return false;
        *offset = section.sh_offset;
        *size = section.sh_size;
        return true;
    }
    return false;
}

// The raw section of the file at `path`; empty (last error set) when none.
std::string read_section(const char* path) {
    const std::string native = posix::native_path(path);
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        posix::set_last_error_from_errno(errno);
        return {};
    }
    unsigned char ident[EI_NIDENT] = {};
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool found = false;
    if (read_at(fd, 0, ident, sizeof ident) && std::memcmp(ident, ELFMAG, SELFMAG) == 0 &&
        ident[EI_DATA] == ELFDATA2LSB) {
        found = ident[EI_CLASS] == ELFCLASS64
                    ? find_section<Elf64_Ehdr, Elf64_Shdr>(fd, &offset, &size)
                    : find_section<Elf32_Ehdr, Elf32_Shdr>(fd, &offset, &size);
    }
    std::string section;
    if (found) {
        section.assign(size, '\0');
        if (!read_at(fd, offset, section.data(), section.size())) section.clear();
    }
    close(fd);
    if (section.empty()) set_last_error(kErrorResourceTypeNotFound);
    return section;
}

// Value of `key` in the key/value texts of a section image, or null.
const char* find_value(const char* table, std::size_t size, const char* key) {
    std::size_t at = 0;
    while (at < size && table[at] != '\0') {
        const char* name = table + at;
        const std::size_t name_length = strnlen(name, size - at);
        if (at + name_length + 1 >= size) return nullptr;
        const char* value = name + name_length + 1;
        const std::size_t value_length = strnlen(value, size - (at + name_length + 1));
        if (at + name_length + 1 + value_length >= size) return nullptr;  // unterminated
        if (std::strcmp(name, key) == 0) return value;
        at += name_length + 1 + value_length + 1;
    }
    return nullptr;
}

}  // namespace

std::uint32_t file_version_info_size(const char* path) {
    const std::string section = read_section(path);
    return section.empty() ? 0 : static_cast<std::uint32_t>(kHeaderSize + section.size() + 1);
}

bool file_version_info(const char* path, std::uint32_t size, void* block) {
    const std::string section = read_section(path);
    if (section.empty()) return false;
    if (size < kHeaderSize + section.size() + 1) {
        set_last_error(kErrorInsufficientBuffer);
        return false;
    }
    const char* translation = find_value(section.data(), section.size(), "Translation");
    if (translation == nullptr || std::strlen(translation) != 8) {
        set_last_error(kErrorResourceTypeNotFound);
        return false;
    }
    const unsigned long both = std::strtoul(translation, nullptr, 16);
    const std::uint16_t words[2] = {static_cast<std::uint16_t>(both >> 16),
                                    static_cast<std::uint16_t>(both & 0xFFFFu)};
    char* bytes = static_cast<char*>(block);
    std::memset(bytes, 0, size);
    std::memcpy(bytes, kMagic, sizeof kMagic);
    std::memcpy(bytes + 4, words, sizeof words);
    const std::uint32_t table_size = static_cast<std::uint32_t>(section.size());
    std::memcpy(bytes + 8, &table_size, sizeof table_size);
    std::memcpy(bytes + kHeaderSize, section.data(), section.size());
    return true;
}

bool file_version_query(const void* block, const char* sub_block, const void** value,
                        std::uint32_t* length) {
    const char* bytes = static_cast<const char*>(block);
    if (bytes == nullptr || sub_block == nullptr || std::memcmp(bytes, kMagic, 4) != 0) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    if (strcasecmp(sub_block, "\\VarFileInfo\\Translation") == 0) {
        *value = bytes + 4;
        *length = 4;
        return true;
    }
    // "\StringFileInfo\<language and code page>\<key>", for the one table.
    constexpr char kPrefix[] = "\\StringFileInfo\\";
    constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
    const char* table = bytes + kHeaderSize;
    std::uint32_t table_size = 0;
    std::memcpy(&table_size, bytes + 8, sizeof table_size);
    const char* translation = find_value(table, table_size, "Translation");
    if (strncasecmp(sub_block, kPrefix, kPrefixLength) == 0 && translation != nullptr &&
        strncasecmp(sub_block + kPrefixLength, translation, 8) == 0 &&
        sub_block[kPrefixLength + 8] == '\\') {
        if (const char* found = find_value(table, table_size, sub_block + kPrefixLength + 9)) {
            *value = found;
            *length = static_cast<std::uint32_t>(std::strlen(found) + 1);
            return true;
        }
    }
    set_last_error(kErrorResourceTypeNotFound);
    return false;
}

// The ASCII test of IsTextUnicode: an even number of bytes (at least two),
// little-endian units below 0x80, the last one possibly the terminator. The
// byte-reversed tests only flag reversed text, which the system does not
// count as UTF-16; the statistics test adds nothing for version strings.
bool text_looks_utf16(const void* data, std::size_t bytes) {
    if (data == nullptr || bytes < 2 || bytes % 2 != 0) return false;
    const unsigned char* b = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; i += 2) {
        const bool terminator = i + 2 == bytes && b[i] == 0 && b[i + 1] == 0;
        if (!terminator && (b[i + 1] != 0 || b[i] == 0 || b[i] >= 0x80)) return false;
    }
    return true;
}

}  // namespace os
