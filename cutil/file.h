// File helpers that replace files the assistant may have open. A file that
// cannot be overwritten or deleted because it is in use is moved aside to
// "<path>.<n>" (n: the low 12 bits of the tick count), marked hidden and
// system, and scheduled for deletion at the next restart of the machine.
// Paths of 260 characters or more are refused (0, nothing touched).
#pragma once

// Creates every directory named by a prefix of `path` that ends at "\" or
// "/" (a directory path needs a trailing separator for its last component).
// Non-zero when the last creation succeeded or found the directory there,
// or when no creation was needed.
int cutil_file_CreateDirectory(const char* path);

// 1 when `destination` now holds a copy of `source`, else 0. A destination in
// use (sharing violation) is moved aside and the copy retried.
int cutil_file_Copy(const char* destination, const char* source);

// 1 when the file was deleted, or (access denied) moved aside and scheduled
// for deletion at restart; else 0.
int cutil_file_Delete(const char* path);

// The "FileVersion" text of a file's version resource into `output` (64
// bytes, zero-filled first, at most 63 characters). Non-zero when found.
int cutil_file_GetVersion(const char* path, char* output);
