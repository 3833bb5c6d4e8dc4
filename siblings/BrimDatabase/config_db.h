// The desktop agent's configuration database, BrimConfig.dat: named records,
// each an uninterpreted run of bytes (the "AgentOption" record is a GBK XML
// text). Layout, all integers little-endian:
//
//   "BRIMCFG1"                         8 bytes
//   record count                       u32 (at most kMaxRecords)
//   per record: name length            u16 (1..255)
//               name                   bytes
//               value length           u32
//               value                  bytes
//   CRC-32 of every byte before it     u32
//
// A file that breaks any of this (short, over-long, lengths past its end,
// bytes after the last record, a wrong checksum) is damaged and is refused
// whole. Writers replace the file under a named mutex.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace brim_db {

inline constexpr char kDatabaseFile[] = "BrimConfig.dat";
inline constexpr char kLockName[] = "BrimConfigDbLock";
inline constexpr std::size_t kMaxFileSize = 4u << 20;
inline constexpr std::size_t kMaxRecords = 4096;
inline constexpr std::size_t kMaxNameLength = 255;

using Records = std::map<std::string, std::string>;

// The file's bytes as records; false when they are damaged.
bool parse(const void* data, std::size_t size, Records* out);
std::string serialize(const Records& records);

enum class Load { kOk, kMissing, kDamaged };
// Reads the database at `path` (under the database mutex).
Load load(const char* path, Records* out);
// Sets one record, creating the database when missing; a damaged one is not
// overwritten (false). The replacement is written beside it and renamed into
// place, so a reader sees the old file or the new one.
bool write_record(const char* path, const char* name, const std::string& value);

// The module's open database (DB_OpenConfigDB_Read and its friends): one per
// process, read whole when opened.
int open_read(const char* path);
int read_record(const char* name, void* buffer, int size);
int close();

}  // namespace brim_db
