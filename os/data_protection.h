// Secrets at rest and the files that hold them. On Windows bytes are sealed
// with the user's data-protection key (CryptProtectData), so the file is
// useless to another account or machine; on POSIX the bytes pass through and
// the files are their owner's only (0600 in a 0700 folder). The file
// operations here are the few a durable store and an append-only log need:
// a whole-file atomic replace with write-through, one-write appends, and a
// stamp that tells whether a file was replaced since it was last read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

// Seals `size` bytes into *out; false when the platform refuses.
bool data_protect(const void* data, std::size_t size, std::string* out);
// Opens what data_protect sealed; false for bytes it did not seal (damaged,
// or sealed by another user or machine).
bool data_unprotect(const void* data, std::size_t size, std::string* out);
// True when data_protect really encrypts (Windows), false when it passes the
// bytes through and the file mode protects them (POSIX).
bool data_protection_encrypts();

// What tells one version of a file from another: the file's identity, size
// and last write time. `exists` false for a missing file (the rest zero).
struct FileStamp {
    bool exists = false;
    std::uint64_t volume = 0;
    std::uint64_t id = 0;
    std::uint64_t size = 0;
    std::uint64_t modified = 0;  // system units (100 ns or 1 ns)
    bool operator==(const FileStamp& other) const {
        return exists == other.exists && volume == other.volume && id == other.id &&
               size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
// False only when the file exists but cannot be examined.
bool file_stamp(const char* path, FileStamp* stamp);

// A file kept open so that its identity (volume and id) cannot pass to
// another file while it is held: a stamp by name equal to the held file's
// then names that very file. POSIX only: on Windows an open file could not
// be replaced under its name, so nothing is held there.
struct HeldFile {
    std::intptr_t descriptor = -1;
};
// Holds the file at `path` (releasing what `held` held) and gives the held
// file's stamp; false, holding nothing, where nothing can be held.
bool file_hold(const char* path, HeldFile* held, FileStamp* stamp);
void file_release(HeldFile* held);

// Creates the folder for its owner only (POSIX 0700; an existing folder of
// the caller's is tightened to 0700). True when it exists afterwards.
bool private_directory_create(const char* path);

// Replaces the file at `path` whole: the bytes go to "<path>.tmp" (owner
// only), are flushed to the disk, and the temporary file is renamed over the
// old one (MoveFileEx with replace and write-through; rename on POSIX). A
// crash at any point leaves the old file or the new one, never a mix; after
// a power cut the last replace may be undone (POSIX does not flush the
// folder), never torn. Callers serialise writers of one path (the temporary
// name is fixed).
bool file_replace_durably(const char* path, const void* data, std::size_t size);

// Appends the bytes with one write to the file opened in append mode
// (created owner-only when missing), so appends of several processes never
// interleave inside one call's bytes.
bool file_append(const char* path, const void* data, std::size_t size);

// Renames `from` to `to`, replacing `to` when it exists.
bool file_rename_replacing(const char* from, const char* to);

// The whole file into *out (at most `limit` bytes: a longer file fails with
// kErrorInsufficientBuffer); false with the last error set otherwise (2 for a
// missing file). Opened with every sharing, so it never blocks a replace.
bool file_read_all(const char* path, std::size_t limit, std::string* out);
// Up to `size` bytes from `offset`; *done receives the count.
bool file_read_at(const char* path, std::uint64_t offset, void* buffer, std::size_t size,
                  std::size_t* done);

}  // namespace os
