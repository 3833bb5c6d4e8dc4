// The configuration store (QuarnAssConfigMgr.dll): named GBK texts.
//
// Callers read texts with one pattern: preset a local buffer to "Failed",
// read, on success copy the value into the buffer (bounded) and GlobalFree
// the block; a buffer still holding "Failed" means "not configured".
#pragma once

#include <cstddef>

// Nonzero when stored. A failure is traced "写入配置失败: key = value".
int Call_TarnWriteConfig(const char* key, const char* value);
// Nonzero when found: *value is then a new block the caller releases with
// GlobalFree (os::global_free). A failure is traced "读取配置失败: key = ?".
int Call_TarnReadConfig(const char* key, char** value);

// The value of `key` copied into `buffer` of `size` bytes (at most size-1
// characters, zero-terminated) when found; otherwise the buffer keeps its
// preset ("Failed", "0", a default). Nonzero when found.
int ReadConfigText(const char* key, char* buffer, std::size_t size);

// The value as signed decimal text.
int WriteConfigInt(const char* key, int value);
// The value's leading decimal integer (atoi: text that is no number gives 0)
// into *value. A null `value` or a failed read returns 0 and leaves *value
// as it was, so callers preset it with their default.
int ReadConfigInt(const char* key, int* value);
// The integer form with its default: `fallback` when the key cannot be read.
int ReadConfigIntOr(const char* key, int fallback = 0);
