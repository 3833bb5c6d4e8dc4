// Profile (INI) files: "[Section]" headers and "Key=Value" lines, as the
// product's settings files are written.
#pragma once

namespace os {

// WritePrivateProfileStringA: sets `key` of `section` in the file at `path`
// (created when missing; sections and keys matched without regard to case).
// A null `value` removes the key, a null `key` the whole section. The file's
// other sections, keys and lines stay as they were. POSIX writes the same
// format (CR LF lines) to a temporary file and renames it over the old one.
// A section, key or value holding CR or LF is refused (invalid parameter,
// nothing written): its second line would be read back as keys of its own.
bool profile_write_string(const char* path, const char* section, const char* key,
                          const char* value);

// True when `text` (null included) holds no CR or LF.
inline bool profile_single_line(const char* text) {
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p == '\r' || *p == '\n') return false;
    }
    return true;
}

}  // namespace os
