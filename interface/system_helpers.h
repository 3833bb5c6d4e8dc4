// Small operating-system and text helpers shared by the whole library.
#pragma once

#include <cstddef>

#include "os/time.h"

// Ends the process that owns the top-level window titled exactly `title`
// (exit code 0). 1 when it was ended, else 0.
int TerminateProcessByHwndName(const char* title);

// Marks admission in the default IP TTL: 200 when `raised`, else 64. When the
// system refuses, signals "Global\EventSet200" / "Global\EventSet64" for the
// process that sets it on our behalf.
void TarnSetIpTTL(int raised);

// Local time as "%04d-%02d-%02d %02d:%02d:%02d" into `text` (at least 20
// bytes). Returns the length written, 0 for a null buffer.
int GetLocalTimeText(char* text);
// The same text of a given time, for callers that store several fields of
// one reading of the clock.
int FormatTimeText(const os::DateTime& time, char* text);

// Days from the time text `since` ("YYYY-MM-DD hh:mm…") to now, counting
// months as 30 days and day 31 as 30; *hours and *minutes (when given) get
// the differences of the hour and minute fields, either may be negative.
// A text not starting with "dddd-dd-dd" gives 0 and leaves the outputs alone.
int DaysSinceTime(const char* since, int* hours, int* minutes);

// Host and port of a URL ("http://h:8080/x", "https://h/x", "h:81"): the
// explicit port, else 443 for https and 80 otherwise. The host is copied
// into `host` of `host_size` bytes only when it fits whole; a host that does
// not fit leaves `host` empty, so that whatever needs it fails visibly.
void SplitUrlHostPort(const char* url, int* port, char* host, std::size_t host_size);

// Base64 with "+" written ",", "=" written ":" and "/" written ".".
// `length` -1: `input` is a zero-terminated text. Returns the output length,
// 0 on failure.
int EncodeUrlBase64(const void* input, int length, char* output, int output_size);
// The reverse; `output` may be `input` itself. Returns the bytes decoded, 0
// on failure.
int DecodeUrlBase64(const char* input, int length, void* output, int output_size);

// 1 when the Windows major version is greater than 5 (Vista or later).
int IsWinVista();
